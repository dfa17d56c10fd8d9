#include "curves.h"

#include <new>

#include "embeddedprograms.h"

namespace tsr {

ImageProcessingNode<1>::~ImageProcessingNode() {
    if (m_kernel) clReleaseKernel(m_kernel);
}

void ImageProcessingNode<1>::CreateKernel(cl_program program) {
    if (m_kernel) {
        clReleaseKernel(m_kernel);
        m_kernel = nullptr;
    }
    if (program) m_kernel = clCreateKernel(program, KernelName(), nullptr);
}

ImageProcessingNode_HLG<1>::ImageProcessingNode_HLG() {
    m_parameters = MakeHlgBlock();
}

ImageProcessingNode_Canon_CanonLog2<1>::ImageProcessingNode_Canon_CanonLog2() {
    m_parameters = MakeCanonLog2Block();
}

ImageProcessingNode_Nikon_NLog<1>::ImageProcessingNode_Nikon_NLog() {
    m_parameters = MakeNikonNLogBlock();
}

ImageProcessingNode_Log<1>::ImageProcessingNode_Log(int tableEntry) {
    m_parameters = MakeLogBlock(tableEntry);
}

void AppendOutputCurveNodes(unsigned curve, CurveNodeList& list) {
    const OutputCurveChoice choice = OutputCurveForIndex(curve);
    ImageProcessingNode<1>* node = nullptr;
    switch (choice.kind) {
    case OutputCurveKind::HLG:
        node = new (std::nothrow) ImageProcessingNode_HLG<1>();
        break;
    case OutputCurveKind::CanonLog2:
        node = new (std::nothrow) ImageProcessingNode_Canon_CanonLog2<1>();
        break;
    case OutputCurveKind::Log:
        node = new (std::nothrow) ImageProcessingNode_Log<1>(choice.logTableEntry);
        break;
    case OutputCurveKind::NikonNLog:
        node = new (std::nothrow) ImageProcessingNode_Nikon_NLog<1>();
        break;
    case OutputCurveKind::None:
        return;
    }
    if (!node) return;
    try {
        list.emplace_back(node);
    } catch (const std::bad_alloc&) {
        // emplace_back with a raw pointer leaves ownership with us when the vector cannot grow.
        delete node;
    }
}

const char* ImageProcessingSource() {
    return reinterpret_cast<const char*>(kImageProcessingSource);
}

std::size_t ImageProcessingSourceLength() {
    return kImageProcessingSourceLength;
}

} // namespace tsr
