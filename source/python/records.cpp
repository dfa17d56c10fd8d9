#include "python/records.h"

#include <string>

namespace py = pybind11;

namespace tsr::python {

namespace {

template <typename T, size_t N> py::tuple Tuple(const T (&values)[N]) {
    py::tuple tuple(N);
    for (size_t i = 0; i < N; ++i) tuple[i] = values[i];
    return tuple;
}

py::str LayoutName(uint32_t code) {
    if (code == TSR_LAYOUT_BP16) return py::str("bp16");
    if (code == TSR_LAYOUT_BP64) return py::str("bp64");
    return py::str("unknown");
}

} // namespace

py::dict InfoRecordDict(const TsrFrameInfoRecord& r) {
    py::dict d;
    d["row_pitch"] = r.rowPitch;
    d["layout"] = LayoutName(r.layoutCode);
    d["width"] = r.width;
    d["height"] = r.height;
    d["bayer_pattern"] = r.bayerPattern;
    d["black_level"] = r.blackLevel;
    d["white_level"] = r.whiteLevel;
    d["gain0"] = r.gain0;
    d["gain1"] = r.gain1;
    d["color_matrix"] = Tuple(r.colorMatrix);
    d["aux_float"] = r.auxFloat;
    d["aux_word"] = r.auxWord;
    d["max_dc_step"] = r.maxDcStep;
    d["sample_offsets"] = Tuple(r.sampleOffsets);
    return d;
}

py::dict MetadataRecordDict(const TsrFrameMetadataRecord& r) {
    py::dict d;
    d["info_bytes"] = py::bytes(reinterpret_cast<const char*>(r.infoBytes), sizeof r.infoBytes);
    d["bayer_pattern"] = r.bayerPattern;
    d["white_level_code"] = r.whiteLevelCode;
    d["gain0"] = r.gain0;
    d["gain1"] = r.gain1;
    d["color_matrix"] = Tuple(r.colorMatrix);
    d["aux_float"] = r.auxFloat;
    d["aux_word"] = r.auxWord;
    return d;
}

py::list EngineListDicts(const media::EngineListing& listing) {
    py::list engines;
    py::dict cpu;
    cpu["engine"] = "cpu";
    cpu["device"] = py::none();
    cpu["description"] = listing.cpu;
    cpu["auto"] = listing.autoIsCpu;
    engines.append(cpu);
    for (const media::OpenCLDeviceInfo& device : listing.devices) {
        py::dict d;
        d["engine"] = "opencl";
        d["device"] = std::to_string(device.platformIndex) + ":" + std::to_string(device.deviceIndex);
        d["description"] = device.deviceName + " (" + device.platformName + ")";
        d["auto"] = !listing.autoIsCpu && device.isDefault;
        d["platform"] = device.platformName;
        d["name"] = device.deviceName;
        d["version"] = device.version;
        d["type"] = device.type;
        d["available"] = device.available;
        d["image_support"] = device.imageSupport;
        d["memory_bytes"] = device.memoryBytes;
        d["compute_units"] = device.computeUnits;
        d["default"] = device.isDefault;
        engines.append(d);
    }
    return engines;
}

} // namespace tsr::python
