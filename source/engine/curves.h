// Output-curve nodes: each names a kernel of the image-processing program, carries its constant
// parameter block and holds the kernel once created.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "clapi.h"
#include "curveparameters.h"

namespace tsr {

template <int Channels> class ImageProcessingNode;

template <> class ImageProcessingNode<1> {
public:
    ImageProcessingNode() = default;
    ImageProcessingNode(const ImageProcessingNode&) = delete;
    ImageProcessingNode& operator=(const ImageProcessingNode&) = delete;
    virtual ~ImageProcessingNode();
    virtual const void* ParameterBlock() const = 0;
    virtual std::size_t ParameterBlockSize() const = 0;
    virtual const char* KernelName() const = 0;

    // Releases the held kernel, then creates it by name from `program` (null without a program
    // or when the program lacks the kernel).
    void CreateKernel(cl_program program);
    cl_kernel Kernel() const { return m_kernel; }

private:
    cl_kernel m_kernel = nullptr;
};

// Stores a node's parameter block and serves it to the chain.
template <typename Block> class ImageProcessingNodeWithBlock : public ImageProcessingNode<1> {
public:
    const void* ParameterBlock() const override { return &m_parameters; }
    std::size_t ParameterBlockSize() const override { return sizeof(Block); }
    const Block& Parameters() const { return m_parameters; }

protected:
    Block m_parameters{};
};

template <int Channels> class ImageProcessingNode_HLG;
template <> class ImageProcessingNode_HLG<1> : public ImageProcessingNodeWithBlock<CLIPHLG> {
public:
    ImageProcessingNode_HLG();
    const char* KernelName() const override { return "ImageProcessing_HLG"; }
};

template <int Channels> class ImageProcessingNode_Canon_CanonLog2;
template <>
class ImageProcessingNode_Canon_CanonLog2<1> : public ImageProcessingNodeWithBlock<CLIPCANONLOG2> {
public:
    ImageProcessingNode_Canon_CanonLog2();
    const char* KernelName() const override { return "ImageProcessing_Canon_CanonLog2"; }
};

template <int Channels> class ImageProcessingNode_Log;
template <> class ImageProcessingNode_Log<1> : public ImageProcessingNodeWithBlock<CLIPLOG> {
public:
    // Builds the block from entry 0..3 of the generic log table.
    explicit ImageProcessingNode_Log(int tableEntry);
    const char* KernelName() const override { return "ImageProcessing_Log"; }
};

template <int Channels> class ImageProcessingNode_Nikon_NLog;
template <> class ImageProcessingNode_Nikon_NLog<1> : public ImageProcessingNodeWithBlock<CLIPNIKONNLOG> {
public:
    ImageProcessingNode_Nikon_NLog();
    const char* KernelName() const override { return "ImageProcessing_Nikon_NLog"; }
};

using CurveNodeList = std::vector<std::unique_ptr<ImageProcessingNode<1>>>;

// Appends the node of curve index `curve` to `list`: one node for 2..8, none otherwise (and none
// when it cannot be allocated).
void AppendOutputCurveNodes(unsigned curve, CurveNodeList& list);

// The OpenCL C text of the image-processing program.
const char* ImageProcessingSource();
std::size_t ImageProcessingSourceLength();

} // namespace tsr
