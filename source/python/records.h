// The two frame records and the engine listing as Python dicts of named fields: the records'
// fields under their C names in snake case, as the record header defines them.
#pragma once

#include <pybind11/pybind11.h>

#include "tsr/framerecords.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::python {

pybind11::dict InfoRecordDict(const TsrFrameInfoRecord& record);
pybind11::dict MetadataRecordDict(const TsrFrameMetadataRecord& record);
// [{"engine": "cpu", ...}, {"engine": "opencl", "device": "0:0", ...}, ...]
pybind11::list EngineListDicts(const media::EngineListing& listing);

} // namespace tsr::python
