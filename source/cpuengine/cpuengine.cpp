#include "cpuengine.h"

#include <hwy/highway.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "common/processorcount.h"
#include "cpuframe.h"
#include "engine/status.h"
#include "rowkernels.h"
#include "taskpool.h"

namespace tsr {

namespace cpu {

namespace {

std::size_t RoundUp(std::size_t value, std::size_t step) {
    return (value + step - 1) / step * step;
}

// The value arrays of the green stage's gather path: nine values, their sigmas and variances,
// and the column of each entry.
constexpr int kRoleArrays = 28;

} // namespace

bool Scratch::Reserve(int width) {
    if (width <= capacity) return true;
    const std::size_t vector = kMaxLanes;
    planeLength = RoundUp(kPad + static_cast<std::size_t>(width) / 2 + 1 + 4 * vector, vector);
    naturalLength = 2 * planeLength;
    roleCount = static_cast<int>(RoundUp(static_cast<std::size_t>(width) + 2 * vector, vector));
    const std::size_t planes = kNormalisedSlots * 7 + kGreenSlots * kGreenRowPlanes;
    const std::size_t total = planes * planeLength + (kSourceSlots * 3 + 3) * naturalLength +
                              static_cast<std::size_t>(kRoleArrays) * roleCount;
    memory = hwy::AllocateAligned<float>(total);
    if (!memory) {
        capacity = 0;
        return false;
    }
    std::fill(memory.get(), memory.get() + total, 0.0f);
    float* next = memory.get();
    auto plane = [&] {
        float* p = next + kPad;
        next += planeLength;
        return p;
    };
    for (NormalisedRow& row : normalised) {
        row.n[0] = plane();
        row.n[1] = plane();
        row.a1 = plane();
        row.var1 = plane();
        row.sigma1 = plane();
        row.a2 = plane();
        row.sigma2 = plane();
    }
    for (GreenRow& row : green) {
        for (int q = 0; q < 2; ++q) {
            for (float** p :
                 {row.X, row.G, row.sigmaG, row.varX, row.usable, row.ratio, row.ratioLow, row.ratioHigh})
                p[q] = plane();
        }
    }
    for (auto& rows : source) {
        for (float*& row : rows) {
            row = next;
            next += naturalLength;
        }
    }
    for (float*& row : rgb) {
        row = next;
        next += naturalLength;
    }
    roles = next;
    capacity = width;
    serial = ~std::uint64_t{0};
    return true;
}

void Scratch::Begin(std::uint64_t frameSerial) {
    if (serial == frameSerial) return;
    serial = frameSerial;
    normalisedCache.Clear();
    greenCache.Clear();
    sourceCache.Clear();
}

class CpuFrameRunner {
public:
    CpuFrameRunner(int threads, std::int32_t tuningValue) : m_pool(threads), m_tuningValue(tuningValue) {
        m_scratch.resize(static_cast<std::size_t>(m_pool.Threads()));
        for (auto& scratch : m_scratch) scratch.reset(new Scratch);
        ChosenTargetName(); // settles the dispatch before workers call it
    }

    int Threads() const { return m_pool.Threads(); }
    void SetStripGate(StripGate* gate) { m_gate = gate; }

    void SetStageTiming(bool on) {
        m_timeStages = on;
        if (on)
            for (auto& scratch : m_scratch) scratch->stageClock = StageClock();
    }
    std::vector<std::pair<std::string, double>> StageSeconds() const {
        std::vector<std::pair<std::string, double>> stages;
        for (int stage = 0; stage < kStageCount; ++stage) {
            double seconds = 0.0;
            for (const auto& scratch : m_scratch) seconds += scratch->stageClock.seconds[stage];
            stages.emplace_back(kStageNames[stage], seconds);
        }
        return stages;
    }

    int Run(const void* recordBytes, int recordSize, const void* picture, std::size_t pictureBytes,
            const float* colorOverride, unsigned curve, bool floatOutput, void* output,
            std::size_t outputBytes, std::ptrdiff_t outputPitch);

private:
    void PrepareColumns(const CLRPTSRD& block, int width, int height);

    TaskPool m_pool;
    StripGate* m_gate = nullptr;
    std::int32_t m_tuningValue;
    std::vector<std::unique_ptr<Scratch>> m_scratch;
    std::uint64_t m_serial = 0;
    bool m_timeStages = false;
    std::vector<std::int32_t> m_columns[6];
    std::vector<float> m_weights[3];
};

// Per colour and output column, the texel columns and weight of the clamped bilinear read at the
// column's sample position (unnormalised coordinates, texel centres at integer + 0.5).
void CpuFrameRunner::PrepareColumns(const CLRPTSRD& block, int width, int) {
    for (int c = 0; c < 3; ++c) {
        m_columns[2 * c].resize(static_cast<std::size_t>(width) + 64);
        m_columns[2 * c + 1].resize(static_cast<std::size_t>(width) + 64);
        m_weights[c].resize(static_cast<std::size_t>(width) + 64);
        const float offset = block.sampleOffsets[2 * c];
        auto clampColumn = [width](float i) {
            if (!(i >= 0.0f)) return 0; // also NaN
            return i < static_cast<float>(width) ? static_cast<int>(i) : width - 1;
        };
        for (int x = 0; x < width; ++x) {
            const float fu = (static_cast<float>(x) + 0.5f - offset) - 0.5f;
            const float iu = std::floor(fu);
            m_weights[c][x] = fu - iu;
            m_columns[2 * c][x] = clampColumn(iu);
            m_columns[2 * c + 1][x] = clampColumn(iu + 1.0f);
        }
    }
}

int CpuFrameRunner::Run(const void* recordBytes, int recordSize, const void* picture,
                        std::size_t pictureBytes, const float* colorOverride, unsigned curve,
                        bool floatOutput, void* output, std::size_t outputBytes, std::ptrdiff_t outputPitch) {
    if (!recordBytes || recordSize < TSR_FRAME_INFO_RECORD_SIZE) return kStatusBadRecord;
    TsrFrameInfoRecord record;
    std::memcpy(&record, recordBytes, sizeof record);
    const bool bayer = record.layoutCode == TSR_LAYOUT_BP16;
    const int width = record.width, height = record.height;
    if (width <= 0 || height <= 0) return kStatusBadOutput;

    // Products in 64 bits: a bad record can overflow 32.
    const std::int64_t rowBytes = static_cast<std::int64_t>(width) * (bayer ? 2 : 8);
    const std::int64_t needed = static_cast<std::int64_t>(height) * record.rowPitch;
    if (!picture || record.rowPitch < rowBytes || static_cast<std::int64_t>(pictureBytes) < needed)
        return kStatusBadHostMemory;
    const std::int64_t outputRow = static_cast<std::int64_t>(width) * (floatOutput ? 16 : 8);
    if (!output || outputPitch < outputRow ||
        static_cast<std::int64_t>(outputBytes) <
            (height - 1) * static_cast<std::int64_t>(outputPitch) + outputRow)
        return kStatusBadOutput;

    const RawProcessingParameters parameters = RawProcessingSetup(record, colorOverride, curve);
    const FrameQuantities frame = DeriveFrameQuantities(parameters);
    FrameJob job;
    job.serial = ++m_serial;
    job.timeStages = m_timeStages;
    job.bayer = bayer;
    job.halfOutput = !floatOutput;
    job.width = width;
    job.height = height;
    job.picture = static_cast<const std::uint8_t*>(picture);
    job.pitch = record.rowPitch;
    job.output = static_cast<std::uint8_t*>(output);
    job.outputPitch = outputPitch;
    if (bayer) {
        job.green = MakeDemosaicGreenBlock(parameters, frame);
        job.colour = MakeDemosaicColourBlock(parameters, frame);
        job.conversion = MakeConversionBlock(parameters, frame);
    } else {
        job.fourSample = MakeFourSampleBlock(parameters, frame);
        PrepareColumns(job.fourSample, width, height);
        for (int c = 0; c < 3; ++c) {
            job.column0[c] = m_columns[2 * c].data();
            job.column1[c] = m_columns[2 * c + 1].data();
            job.columnWeight[c] = m_weights[c].data();
        }
    }
    job.chart = DrawsTestChart(m_tuningValue);
    if (job.chart)
        job.chartBlock = MakeTestChartBlock(parameters, static_cast<std::uint32_t>(width),
                                            static_cast<std::uint32_t>(height), m_tuningValue);
    const OutputCurveChoice choice = OutputCurveForIndex(curve);
    job.curve = choice.kind;
    switch (choice.kind) {
    case OutputCurveKind::HLG:
        job.hlg = MakeHlgBlock();
        break;
    case OutputCurveKind::CanonLog2:
        job.canonLog2 = MakeCanonLog2Block();
        break;
    case OutputCurveKind::Log:
        job.log = MakeLogBlock(choice.logTableEntry);
        break;
    case OutputCurveKind::NikonNLog:
        job.nikonNLog = MakeNikonNLogBlock();
        break;
    case OutputCurveKind::None:
        break;
    }

    // Strips of rows: a few per worker for balance; each strip recomputes a few rows above its
    // first, so strips are not made very thin.
    const int threads = m_pool.Threads();
    const int rowsPerStrip = std::max(8, (height + threads * 6 - 1) / (threads * 6));
    const int strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    for (auto& scratch : m_scratch)
        if (!scratch->Reserve(width)) return kStatusOther;
    StripGate* const gate = m_gate;
    auto strip = [&](int index, int worker) {
        Scratch& scratch = *m_scratch[static_cast<std::size_t>(worker)];
        scratch.Begin(job.serial);
        const int y0 = index * rowsPerStrip;
        if (gate) gate->Enter();
        ProcessStrip(job, scratch, y0, std::min(height, y0 + rowsPerStrip));
        if (gate) gate->Leave();
    };
    m_pool.Run(strips, strip);
    return kStatusOk;
}

} // namespace cpu

CpuEngine::CpuEngine(int threads, std::int32_t tuningValue) {
    if (threads <= 0) threads = ProcessorCount();
    m_runner.reset(new cpu::CpuFrameRunner(threads, tuningValue));
}

CpuEngine::~CpuEngine() = default;

int CpuEngine::Threads() const {
    return m_runner->Threads();
}

void CpuEngine::SetStripGate(StripGate* gate) {
    m_runner->SetStripGate(gate);
}

int CpuEngine::ProcessFrame(const void* record, int recordSize, const void* picture, std::size_t pictureBytes,
                            const float* colorOverride, unsigned curve, bool floatOutput, void* output,
                            std::size_t outputBytes, std::ptrdiff_t outputPitch) {
    try {
        return m_runner->Run(record, recordSize, picture, pictureBytes, colorOverride, curve, floatOutput,
                             output, outputBytes, outputPitch);
    } catch (const std::bad_alloc&) {
        return kStatusOther; // the column tables of a huge four-sample frame
    }
}

void CpuEngine::SetStageTiming(bool on) {
    m_runner->SetStageTiming(on);
}

std::vector<std::pair<std::string, double>> CpuEngine::StageSeconds() const {
    return m_runner->StageSeconds();
}

std::string CpuEngine::SimdTarget() {
    return cpu::ChosenTargetName();
}

std::string CpuEngine::CompiledTargets() {
    std::string names;
    for (int i = 0; i < 63; ++i) {
        const std::int64_t bit = std::int64_t{1} << i;
        if ((HWY_TARGETS & bit) == 0) continue;
        if (!names.empty()) names += ' ';
        names += hwy::TargetName(bit);
    }
    return names;
}

std::vector<std::int64_t> CpuEngine::UsableTargets() {
    return hwy::SupportedAndGeneratedTargets();
}

} // namespace tsr
