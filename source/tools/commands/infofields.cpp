// The table of the fields `info` shows, in the order of the JSON output. Each row also says where
// the field stands in the text and how the text spells it.
#include "commands/infofields.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tsr::tools {

using namespace media;

namespace {

// What a field's getter sees: the inspected frame and its index in the clip.
struct Frame {
    int index;
    const FrameInspection& f;
};

// The frame object itself or one of its sub-objects; each is shown only when what it describes
// could be read.
enum class Section { Frame, Header, Partition, Slices, Metadata, FrameInfo };

// The sub-object's key, by section (the frame object has none).
const char* const kSectionKeys[] = {nullptr,  "header",         "partition",
                                    "slices", "metadataRecord", "frameInfoRecord"};

bool SectionShown(Section section, const FrameInspection& f) {
    switch (section) {
    case Section::Frame:
        return true;
    case Section::Header:
    case Section::Partition:
    case Section::Slices:
        return f.headerReadable;
    case Section::Metadata:
        return f.metadataValid;
    case Section::FrameInfo:
        return f.decodeResult == 0;
    }
    return false;
}

// The JSON type of a field; a TextOnly row has no key and no value.
enum class Kind { Integer, Boolean, Number, String, Integers, Numbers, TextOnly };

// How the text spells integers. A list is written item by item, each after a space; Rows8 puts
// eight items on each indented line.
enum class Style { Decimal, Hex2, Hex4, Hex8, Rows8 };

struct Value {
    long long integer = 0;
    double number = 0;
    std::string text;
    std::vector<long long> integers;
    std::vector<double> numbers;
};

using Getter = Value (*)(const Frame&);
using Speller = std::string (*)(const Frame&);
using Condition = bool (*)(const FrameInspection&);

struct Field {
    Section section;
    const char* key; // in the JSON output; nullptr for a text-only row
    Kind kind;
    Getter value;
    int textOrder;    // place in the text within the section; 0: JSON only
    const char* text; // the text fragment, "{}" standing for the value
    Style style = Style::Decimal;
    Speller spelt = nullptr;       // the text's own spelling, where it says more than the value
    Condition shown = nullptr;     // in both outputs; nullptr: whenever the section is
    Condition textShown = nullptr; // in the text only
};

template <typename T> Value Int(T v) {
    Value r;
    r.integer = static_cast<long long>(v);
    return r;
}
Value Num(double v) {
    Value r;
    r.number = v;
    return r;
}
Value Str(std::string v) {
    Value r;
    r.text = std::move(v);
    return r;
}
template <typename C> Value Ints(const C& values) {
    Value r;
    for (const auto& v : values) r.integers.push_back(static_cast<long long>(v));
    return r;
}
template <typename C> Value Nums(const C& values) {
    Value r;
    for (const auto& v : values) r.numbers.push_back(static_cast<double>(v));
    return r;
}

template <typename... A> std::string Printed(const char* format, A... values) {
    char text[96];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

const char* PatternText(int pattern) {
    static const char* const names[] = {"R G / G B", "G R / B G", "G B / R G", "B G / G R"};
    return names[pattern & 3];
}

std::string LayoutText(uint32_t code) {
    return code == TSR_LAYOUT_BP16 ? "bp16" : code == TSR_LAYOUT_BP64 ? "bp64" : "unknown";
}

std::string PatternSpelt(const Frame& x) {
    return Printed("%d (%s)", x.f.bayerPatternWord & 3, PatternText(x.f.bayerPatternWord));
}
std::string WhiteLevelSpelt(const Frame& x) {
    return Printed("%u (white level %d, black level %d)", static_cast<unsigned>(x.f.whiteLevelCode),
                   x.f.whiteLevelCode + 256, TSR_BLACK_LEVEL);
}
std::string ToneCurveSpelt(const Frame& x) {
    std::string text = x.f.hasToneCurve ? ":" : " (default):";
    for (uint16_t knot : x.f.toneCurve) text += Printed(" %u", static_cast<unsigned>(knot));
    return text;
}
// Widths repeat a few times at most in a row's tail, but the leading run can be thousands long:
// long rows are spelt as runs ("1 x4096") so that the line stays short.
std::string SliceWidthsSpelt(const Frame& x) {
    const std::vector<int>& widths = x.f.sliceWidthsInRow;
    std::string text;
    for (size_t i = 0; i < widths.size();) {
        size_t run = 1;
        while (i + run < widths.size() && widths[i + run] == widths[i]) ++run;
        if (widths.size() > 32 && run > 1)
            text += Printed(" %d x%zu", widths[i], run);
        else
            for (size_t k = 0; k < run; ++k) text += Printed(" %d", widths[i]);
        i += run;
    }
    return text;
}
std::string SlicesPresentSpelt(const Frame& x) {
    return x.f.slicesFound > 0 ? Printed("%d present", x.f.slicesFound) : "none present";
}
std::string MeanSliceSpelt(const Frame& x) {
    return Printed("%.1f", static_cast<double>(x.f.sliceBytesTotal) / x.f.slicesFound);
}
std::string DecodeResultSpelt(const Frame& x) {
    return DecodeResultText(x.f.decodeResult);
}

bool HasNote(const FrameInspection& f) {
    return !f.note.empty();
}
bool NoHeader(const FrameInspection& f) {
    return !f.headerReadable;
}
bool HasQuantMatrix(const FrameInspection& f) {
    return f.hasQuantMatrix;
}
bool SlicesPresent(const FrameInspection& f) {
    return f.slicesFound > 0;
}
bool SlicesDamaged(const FrameInspection& f) {
    return f.slicesDamaged > 0;
}

using S = Section;
using K = Kind;
using F = const Frame&;

const Field kFields[] = {
    {S::Frame, "index", K::Integer, [](F x) { return Int(x.index); }, 1, "frame {}"},
    {S::Frame, "bytes", K::Integer, [](F x) { return Int(x.f.length); }, 2, ": {} bytes"},
    {S::Frame, "valid", K::Boolean, [](F x) { return Int(x.f.decodeResult == 0); }, 0, nullptr},
    {S::Frame, "decodeResult", K::Integer, [](F x) { return Int(x.f.decodeResult); }, 3, ", {}",
     Style::Decimal, DecodeResultSpelt},
    {S::Frame, "note", K::String, [](F x) { return Str(x.f.note); }, 4, "\n  {}", Style::Decimal, nullptr,
     HasNote},
    {S::Frame, nullptr, K::TextOnly, nullptr, 5, "\n  no readable frame header", Style::Decimal, nullptr,
     NoHeader},

    {S::Header, "frameSize", K::Integer, [](F x) { return Int(x.f.frameSize); }, 1,
     "\n  header: frameSize {}"},
    {S::Header, "headerSize", K::Integer, [](F x) { return Int(x.f.headerSize); }, 2, ", headerSize {}"},
    {S::Header, "version", K::Integer, [](F x) { return Int(x.f.version); }, 3, ", version {}"},
    {S::Header, "headerWord", K::Integer, [](F x) { return Int(x.f.headerWord); }, 4, ", headerWord 0x{}",
     Style::Hex8},
    {S::Header, "width", K::Integer, [](F x) { return Int(x.f.width); }, 5, "\n  picture: {}"},
    {S::Header, "height", K::Integer, [](F x) { return Int(x.f.height); }, 6, " x {} photosites"},
    {S::Header, "bayerPattern", K::Integer, [](F x) { return Int(x.f.bayerPatternWord & 3); }, 7,
     ", bayerPattern {}", Style::Decimal, PatternSpelt},
    {S::Header, "bayerPatternWord", K::Integer, [](F x) { return Int(x.f.bayerPatternWord); }, 8,
     ", pattern word 0x{}", Style::Hex4},
    {S::Header, "whiteLevelCode", K::Integer, [](F x) { return Int(x.f.whiteLevelCode); }, 9,
     "\n  whiteLevelCode {}", Style::Decimal, WhiteLevelSpelt},
    {S::Header, "frameFlags", K::Integer, [](F x) { return Int(x.f.frameFlags); }, 10, "\n  frameFlags 0x{}",
     Style::Hex4},
    {S::Header, "hasQuantMatrix", K::Boolean, [](F x) { return Int(x.f.hasQuantMatrix); }, 11,
     ": hasQuantMatrix {}"},
    {S::Header, "hasToneCurve", K::Boolean, [](F x) { return Int(x.f.hasToneCurve); }, 13,
     ", hasToneCurve {}"},
    {S::Header, "log2SliceWidth", K::Integer, [](F x) { return Int(x.f.log2SliceWidth); }, 12,
     ", log2SliceWidth {}"},
    {S::Header, "quantMatrix", K::Integers, [](F x) { return Ints(x.f.quantMatrix); }, 14,
     "\n  quantMatrix:{}", Style::Rows8, nullptr, nullptr, HasQuantMatrix},
    {S::Header, "toneCurve", K::Integers, [](F x) { return Ints(x.f.toneCurve); }, 15, "\n  toneCurve{}",
     Style::Decimal, ToneCurveSpelt},

    {S::Partition, "mbWidth", K::Integer, [](F x) { return Int(x.f.mbWidth); }, 1, "\n  partition: {}"},
    {S::Partition, "mbHeight", K::Integer, [](F x) { return Int(x.f.mbHeight); }, 2, " x {} macroblocks"},
    {S::Partition, "slicesPerRow", K::Integer, [](F x) { return Int(x.f.slicesPerRow); }, 3,
     ", {} slices per row"},
    {S::Partition, "sliceWidthsInRow", K::Integers, [](F x) { return Ints(x.f.sliceWidthsInRow); }, 4,
     " (widths{})", Style::Decimal, SliceWidthsSpelt},
    {S::Partition, "sliceCount", K::Integer, [](F x) { return Int(x.f.sliceCount); }, 5, ", {} slices"},

    {S::Slices, "present", K::Integer, [](F x) { return Int(x.f.slicesFound); }, 1, "\n  slices: {}",
     Style::Decimal, SlicesPresentSpelt},
    {S::Slices, "minBytes", K::Integer, [](F x) { return Int(x.f.sliceBytesMin); }, 2, ", {}", Style::Decimal,
     nullptr, nullptr, SlicesPresent},
    {S::Slices, "maxBytes", K::Integer, [](F x) { return Int(x.f.sliceBytesMax); }, 3, "..{} bytes",
     Style::Decimal, nullptr, nullptr, SlicesPresent},
    {S::Slices, "totalBytes", K::Integer, [](F x) { return Int(x.f.sliceBytesTotal); }, 4, " (mean {})",
     Style::Decimal, MeanSliceSpelt, nullptr, SlicesPresent},
    {S::Slices, "minQScale", K::Integer, [](F x) { return Int(x.f.qScaleMin); }, 5, ", qScale {}",
     Style::Decimal, nullptr, nullptr, SlicesPresent},
    {S::Slices, "maxQScale", K::Integer, [](F x) { return Int(x.f.qScaleMax); }, 6, "..{}", Style::Decimal,
     nullptr, nullptr, SlicesPresent},
    {S::Slices, "damaged", K::Integer, [](F x) { return Int(x.f.slicesDamaged); }, 7,
     "\n  damaged slices: {} (skipped by the decoder, their areas left black)", Style::Decimal, nullptr,
     nullptr, SlicesDamaged},

    {S::Metadata, "infoBytes", K::Integers, [](F x) { return Ints(x.f.metadata.infoBytes); }, 1,
     "\n  metadata record: infoBytes{}", Style::Hex2},
    {S::Metadata, "bayerPattern", K::Integer, [](F x) { return Int(x.f.metadata.bayerPattern); }, 2,
     ", bayerPattern {}"},
    {S::Metadata, "whiteLevelCode", K::Integer, [](F x) { return Int(x.f.metadata.whiteLevelCode); }, 3,
     ", whiteLevelCode {}"},
    {S::Metadata, "gain0", K::Number, [](F x) { return Num(x.f.metadata.gain0); }, 5, "\n    gain0 {}"},
    {S::Metadata, "gain1", K::Number, [](F x) { return Num(x.f.metadata.gain1); }, 6, ", gain1 {}"},
    {S::Metadata, "colorMatrix", K::Numbers, [](F x) { return Nums(x.f.metadata.colorMatrix); }, 8,
     "\n    colorMatrix{}"},
    {S::Metadata, "auxFloat", K::Number, [](F x) { return Num(x.f.metadata.auxFloat); }, 7, ", auxFloat {}"},
    {S::Metadata, "auxWord", K::Integer, [](F x) { return Int(x.f.metadata.auxWord); }, 4, ", auxWord {}"},

    {S::FrameInfo, "scaleIndex", K::Integer, [](F x) { return Int(x.f.scaleIndex); }, 1,
     "\n  frame info record (scale index {})"},
    {S::FrameInfo, "rowPitch", K::Integer, [](F x) { return Int(x.f.infoRecord.rowPitch); }, 2,
     ": rowPitch {}"},
    {S::FrameInfo, "layout", K::String, [](F x) { return Str(LayoutText(x.f.infoRecord.layoutCode)); }, 3,
     ", layout {}"},
    {S::FrameInfo, "width", K::Integer, [](F x) { return Int(x.f.infoRecord.width); }, 4, ", {}"},
    {S::FrameInfo, "height", K::Integer, [](F x) { return Int(x.f.infoRecord.height); }, 5, " x {}"},
    {S::FrameInfo, "bayerPattern", K::Integer, [](F x) { return Int(x.f.infoRecord.bayerPattern); }, 6,
     ", bayerPattern {}"},
    {S::FrameInfo, "blackLevel", K::Integer, [](F x) { return Int(x.f.infoRecord.blackLevel); }, 7,
     "\n    blackLevel {}"},
    {S::FrameInfo, "whiteLevel", K::Integer, [](F x) { return Int(x.f.infoRecord.whiteLevel); }, 8,
     ", whiteLevel {}"},
    {S::FrameInfo, "gain0", K::Number, [](F x) { return Num(x.f.infoRecord.gain0); }, 9, ", gain0 {}"},
    {S::FrameInfo, "gain1", K::Number, [](F x) { return Num(x.f.infoRecord.gain1); }, 10, ", gain1 {}"},
    {S::FrameInfo, "colorMatrix", K::Numbers, [](F x) { return Nums(x.f.infoRecord.colorMatrix); }, 14,
     "\n    colorMatrix{}"},
    {S::FrameInfo, "auxFloat", K::Number, [](F x) { return Num(x.f.infoRecord.auxFloat); }, 11,
     ", auxFloat {}"},
    {S::FrameInfo, "auxWord", K::Integer, [](F x) { return Int(x.f.infoRecord.auxWord); }, 12,
     ", auxWord {}"},
    {S::FrameInfo, "maxDcStep", K::Integer, [](F x) { return Int(x.f.infoRecord.maxDcStep); }, 13,
     ", maxDcStep {}"},
    {S::FrameInfo, "sampleOffsets", K::Numbers, [](F x) { return Nums(x.f.infoRecord.sampleOffsets); }, 15,
     "\n    sampleOffsets{}"},
};

bool Shown(const Field& field, const FrameInspection& f) {
    return SectionShown(field.section, f) && (!field.shown || field.shown(f));
}

std::string IntegerText(long long value, Style style) {
    switch (style) {
    case Style::Hex2:
        return Printed("%02llx", value);
    case Style::Hex4:
        return Printed("%04llx", value);
    case Style::Hex8:
        return Printed("%08llx", value);
    case Style::Decimal:
    case Style::Rows8:
        break;
    }
    return Printed("%lld", value);
}

// A value as the text spells it by default.
std::string ValueText(Kind kind, Style style, const Value& v) {
    std::string text;
    switch (kind) {
    case Kind::String:
        return v.text;
    case Kind::Number:
        return Printed("%g", v.number);
    case Kind::Numbers:
        for (double number : v.numbers) text += Printed(" %g", number);
        return text;
    case Kind::Integers:
        for (size_t i = 0; i < v.integers.size(); ++i)
            text +=
                (style == Style::Rows8 && i % 8 == 0 ? "\n    " : " ") + IntegerText(v.integers[i], style);
        return text;
    case Kind::Integer:
    case Kind::Boolean:
        return IntegerText(v.integer, style);
    case Kind::TextOnly:
        break;
    }
    return text;
}

std::string Spelt(const Field& field, const Frame& frame) {
    if (field.kind == Kind::TextOnly) return {};
    return field.spelt ? field.spelt(frame) : ValueText(field.kind, field.style, field.value(frame));
}

// The fragment with its "{}" replaced by `value`.
std::string Filled(const std::string& fragment, const std::string& value) {
    const size_t slot = fragment.find("{}");
    return slot == std::string::npos ? fragment
                                     : fragment.substr(0, slot) + value + fragment.substr(slot + 2);
}

void WriteValue(JsonWriter& json, const char* key, Kind kind, const Value& v) {
    switch (kind) {
    case Kind::Integer:
        json.Integer(key, v.integer);
        break;
    case Kind::Boolean:
        json.Boolean(key, v.integer != 0);
        break;
    case Kind::Number:
        json.Number(key, v.number);
        break;
    case Kind::String:
        json.String(key, v.text);
        break;
    case Kind::Integers:
        json.IntegerArray(key, v.integers);
        break;
    case Kind::Numbers:
        json.NumberArray(key, v.numbers);
        break;
    case Kind::TextOnly:
        break;
    }
}

// The summary's table, in the order of both outputs.
using C = const ClipSummary&;

struct SummaryField {
    const char* key;
    Kind kind;
    Value (*value)(C);
    const char* text;                  // nullptr: JSON only
    std::string (*spelt)(C) = nullptr; // the text's own spelling
    bool (*shown)(C) = nullptr;        // in both outputs; nullptr: always
    bool (*textShown)(C) = nullptr;    // in the text only
};

bool HasTrackType(C c) {
    return c.properties.fourcc != 0;
}
bool HasRate(C c) {
    return c.properties.frameRateNumerator > 0 && c.properties.frameRateDenominator > 0;
}
bool HasSize(C c) {
    return !c.sizes.empty();
}
bool PartOfClip(C c) {
    return c.first != 0 || c.last != c.frameCount - 1;
}
double Rate(C c) {
    return static_cast<double>(c.properties.frameRateNumerator) / c.properties.frameRateDenominator;
}

std::string ContainerSpelt(C c) {
    return c.properties.container == "quicktime" ? "QuickTime clip" : "frames back to back";
}
std::string RateSpelt(C c) {
    return Printed("%g", Rate(c));
}
std::string SizesSpelt(C c) {
    std::string text;
    for (const auto& size : c.sizes)
        text += Printed("%s%d x %d", text.empty() ? "" : ", ", size.first, size.second);
    return text + " photosites";
}
std::string PatternsSpelt(C c) {
    std::string text;
    for (int pattern : c.patterns)
        text += Printed("%s%d (%s)", text.empty() ? " " : ", ", pattern, PatternText(pattern));
    return text;
}
std::string BitsSpelt(double bits) {
    return Printed("%.2f", bits);
}
// Every damaged frame while there are few, else the count and the first few.
std::string DamagedSpelt(C c) {
    constexpr size_t kListed = 10;
    if (c.damaged.empty()) return "none";
    std::string text = Printed("%zu:", c.damaged.size());
    for (size_t i = 0; i < c.damaged.size() && i < kListed; ++i) {
        const int index = c.damaged[i];
        const bool refused = std::find(c.refused.begin(), c.refused.end(), index) != c.refused.end();
        text += Printed(" %d%s", index, refused ? "" : " (damaged slices)");
        if (i + 1 < c.damaged.size()) text += ",";
    }
    return c.damaged.size() > kListed ? text + " ..." : text;
}

const SummaryField kSummaryFields[] = {
    {"file", K::String, [](C c) { return Str(c.file); }, "{}"},
    {"container", K::String, [](C c) { return Str(c.properties.container); }, ": {}", ContainerSpelt},
    {"trackType", K::String, [](C c) { return Str(FourCCText(c.properties.fourcc)); }, ", track type {}",
     nullptr, HasTrackType},
    {"frameCount", K::Integer, [](C c) { return Int(c.frameCount); }, "\n  frames: {}"},
    {"firstFrame", K::Integer, [](C c) { return Int(c.first); }, " ({}", nullptr, nullptr, PartOfClip},
    {"lastFrame", K::Integer, [](C c) { return Int(c.last); }, "-{} shown)", nullptr, nullptr, PartOfClip},
    {"frameRate", K::Integers,
     [](C c) {
         return Ints(std::vector<int>{c.properties.frameRateNumerator, c.properties.frameRateDenominator});
     },
     ", {} frames/s", RateSpelt, HasRate},
    {"framesPerSecond", K::Number, [](C c) { return Num(Rate(c)); }, nullptr, nullptr, HasRate},
    {"durationSeconds", K::Number, [](C c) { return Num(c.frameCount / Rate(c)); }, ", {} s",
     [](C c) { return Printed("%.3f", c.frameCount / Rate(c)); }, HasRate},
    {"timecode", K::String, [](C c) { return Str(c.properties.timecode); }, ", time code {}", nullptr,
     [](C c) { return !c.properties.timecode.empty(); }},
    {"width", K::Integer, [](C c) { return Int(c.sizes[0].first); }, "\n  size: {}", SizesSpelt, HasSize},
    {"height", K::Integer, [](C c) { return Int(c.sizes[0].second); }, nullptr, nullptr, HasSize},
    {"sizeVaries", K::Boolean, [](C c) { return Int(c.sizes.size() > 1); }, nullptr, nullptr, HasSize},
    {"bayerPatterns", K::Integers, [](C c) { return Ints(c.patterns); }, ", Bayer pattern{}", PatternsSpelt,
     HasSize},
    {"bitsPerPhotositeMin", K::Number, [](C c) { return Num(c.bitsMin); }, "\n  bits per photosite: {} min",
     [](C c) { return BitsSpelt(c.bitsMin); }, HasSize},
    {"bitsPerPhotositeMean", K::Number, [](C c) { return Num(c.bits / c.photosites); }, ", {} mean",
     [](C c) { return BitsSpelt(c.bits / c.photosites); }, HasSize},
    {"bitsPerPhotositeMax", K::Number, [](C c) { return Num(c.bitsMax); }, ", {} max",
     [](C c) { return BitsSpelt(c.bitsMax); }, HasSize},
    {"versions", K::Integers, [](C c) { return Ints(c.versions); }, "\n  format versions:{}", nullptr,
     HasSize},
    {"damagedFrames", K::Integers, [](C c) { return Ints(c.damaged); }, "\n  damaged frames: {}",
     DamagedSpelt},
    {"refusedFrames", K::Integers, [](C c) { return Ints(c.refused); }, nullptr},
    {"decoded", K::Boolean, [](C c) { return Int(c.decoded); }, "\n  checked: {}",
     [](C c) {
         return std::string(c.decoded ? "every frame decoded"
                                      : "headers and slice tables (--verify decodes every frame)");
     }},
};

void AddDistinct(std::vector<int>& values, int value) {
    if (std::find(values.begin(), values.end(), value) == values.end()) {
        values.push_back(value);
        std::sort(values.begin(), values.end());
    }
}

} // namespace

bool FrameDamaged(const FrameInspection& frame) {
    return frame.decodeResult != 0 || frame.slicesDamaged > 0;
}

void ClipSummary::Add(int index, const FrameInspection& frame) {
    if (FrameDamaged(frame)) damaged.push_back(index);
    if (frame.decodeResult != 0) refused.push_back(index);
    if (!frame.headerReadable || frame.width <= 0 || frame.height <= 0) return;
    const std::pair<int, int> size{frame.width, frame.height};
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) sizes.push_back(size);
    AddDistinct(patterns, frame.bayerPatternWord & 3);
    AddDistinct(versions, frame.version);
    const double area = static_cast<double>(frame.width) * frame.height;
    const double perPhotosite = 8.0 * static_cast<double>(frame.length) / area;
    bitsMin = photosites == 0 ? perPhotosite : std::min(bitsMin, perPhotosite);
    bitsMax = photosites == 0 ? perPhotosite : std::max(bitsMax, perPhotosite);
    bits += 8.0 * static_cast<double>(frame.length);
    photosites += area;
}

std::string ClipSummaryText(const ClipSummary& summary) {
    std::string text;
    for (const SummaryField& field : kSummaryFields) {
        if (!field.text || (field.shown && !field.shown(summary)) ||
            (field.textShown && !field.textShown(summary)))
            continue;
        text += Filled(field.text, field.spelt ? field.spelt(summary)
                                               : ValueText(field.kind, Style::Decimal, field.value(summary)));
    }
    return text + "\n";
}

void WriteClipSummaryJson(JsonWriter& json, const ClipSummary& summary) {
    json.BeginObject("summary");
    for (const SummaryField& field : kSummaryFields)
        if (!field.shown || field.shown(summary))
            WriteValue(json, field.key, field.kind, field.value(summary));
    json.EndObject();
}

std::string FrameInfoText(int index, const FrameInspection& f) {
    const Frame frame{index, f};
    std::vector<const Field*> rows;
    for (const Field& field : kFields)
        if (field.textOrder > 0 && Shown(field, f) && (!field.textShown || field.textShown(f)))
            rows.push_back(&field);
    std::stable_sort(rows.begin(), rows.end(), [](const Field* a, const Field* b) {
        return a->section != b->section ? a->section < b->section : a->textOrder < b->textOrder;
    });
    std::string text;
    for (const Field* field : rows) text += Filled(field->text, Spelt(*field, frame));
    return text + "\n";
}

void WriteFrameInfoJson(JsonWriter& json, int index, const FrameInspection& f) {
    const Frame frame{index, f};
    json.BeginObject();
    Section open = Section::Frame;
    for (const Field& field : kFields) {
        if (!field.key || !Shown(field, f)) continue;
        if (field.section != open) {
            if (open != Section::Frame) json.EndObject();
            json.BeginObject(kSectionKeys[static_cast<int>(field.section)]);
            open = field.section;
        }
        WriteValue(json, field.key, field.kind, field.value(frame));
    }
    if (open != Section::Frame) json.EndObject();
    json.EndObject();
}

} // namespace tsr::tools
