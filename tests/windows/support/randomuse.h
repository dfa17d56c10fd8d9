// Random use of a transform for the randomized tests: numbers from a fixed seed, a random message,
// and a type of random subtype and size set on the input or the output.
#pragma once

#include <mfapi.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <random>
#include <vector>

class RandomUse {
public:
    explicit RandomUse(unsigned seed) : m_random(seed) {}

    int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    void PostRandomMessage(IMFTransform* transform) {
        static const MFT_MESSAGE_TYPE messages[] = {
            MFT_MESSAGE_COMMAND_FLUSH,          MFT_MESSAGE_COMMAND_DRAIN,
            MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, MFT_MESSAGE_NOTIFY_END_STREAMING,
            MFT_MESSAGE_NOTIFY_START_OF_STREAM, MFT_MESSAGE_NOTIFY_END_OF_STREAM,
            MFT_MESSAGE_SET_D3D_MANAGER,        MFT_MESSAGE_COMMAND_MARKER};
        transform->ProcessMessage(messages[Uniform(0, 7)], 0);
    }

    // Any result is fine: the caller negotiates its working types again afterwards.
    void SetRandomType(IMFTransform* transform, const std::vector<GUID>& subtypes) {
        Microsoft::WRL::ComPtr<IMFMediaType> type;
        if (FAILED(MFCreateMediaType(&type))) return;
        type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        type->SetGUID(MF_MT_SUBTYPE, subtypes[size_t(Uniform(0, int(subtypes.size()) - 1))]);
        MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, UINT32(Uniform(0, 70000)),
                           UINT32(Uniform(0, 70000)));
        if (Uniform(0, 1))
            transform->SetInputType(0, type.Get(), DWORD(Uniform(0, 1)));
        else
            transform->SetOutputType(0, type.Get(), DWORD(Uniform(0, 1)));
        transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
    }

private:
    std::mt19937 m_random;
};
