#include "python/errors.h"

#include <pybind11/eval.h>

#include "tsr/framedecoder.h"
#include "tsr/media/frames.h"

namespace py = pybind11;

namespace tsr::python {

namespace {

// Defined in Python so that they carry plain attributes and keyword arguments like any
// exception class a user writes; the type stubs describe the same signatures.
const char kErrorClasses[] = R"py(
class Error(Exception):
    """A failure of the library: `status` names it, `message` says it in words, `code` is the
    decoder's result or the engine's status code where there is one."""

    def __init__(self, status: str, message: str, code: "int | None" = None) -> None:
        super().__init__(f"{message} ({status}, {code})" if code is not None else f"{message} ({status})")
        self.status = status
        self.message = message
        self.code = code


class DecodeError(Error):
    """The decoder refused a frame: `status` is its result's name (InvalidFrame, NoWriter,
    BadArguments), `code` its value; or the frame has more photosites than the module decodes
    (status MaxPixels, 16384 x 16384)."""


class EngineError(Error):
    """The raw-processing engine failed or would not start: `status` and `code` are a row of its
    status table; or OpenCL was asked for in a process forked after OpenCL started (status
    Forked, code None)."""


class ClipError(Error):
    """A clip or frame file cannot be opened, read or written (`status` "Failure")."""
)py";

struct DecoderResultName {
    int result;
    const char* name;
    const char* message;
};

// The decoder's results, named as its interface names them.
constexpr DecoderResultName kDecoderResults[] = {
    {FRAME_DECODER_NO_WRITER, "NoWriter", "the decoder has no output writer for this layout and scale"},
    {FRAME_DECODER_INVALID_FRAME, "InvalidFrame", "the frame breaks a layout or header rule"},
    {FRAME_DECODER_BAD_ARGUMENTS, "BadArguments", "the decoder refused its arguments or buffers"},
};

const DecoderResultName* FindDecoderResult(int result) {
    for (const DecoderResultName& row : kDecoderResults)
        if (row.result == result) return &row;
    return nullptr;
}

py::object ErrorClass(const char* name) {
    return py::module_::import("tesselraw._tesselraw").attr(name);
}

void Raise(const char* className, const std::string& status, const std::string& message, py::object code) {
    const py::object type = ErrorClass(className);
    const py::object instance = type(status, message, code);
    PyErr_SetObject(type.ptr(), instance.ptr());
}

} // namespace

media::MediaError DecoderFailure(int result, const std::string& what) {
    const DecoderResultName* row = FindDecoderResult(result);
    const std::string message = row ? row->message : "decoder result " + std::to_string(result);
    return media::MediaError(what.empty() ? message : what + ": " + message, media::MediaError::Kind::Decoder,
                             result, media::DecodeResultText(result));
}

void RegisterErrors(py::module_& module) {
    py::exec(kErrorClasses, module.attr("__dict__"));
    for (const char* name : {"Error", "DecodeError", "EngineError", "ClipError"})
        module.attr(name).attr("__module__") = "tesselraw";
    // Runs with the GIL held.
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) std::rethrow_exception(pending);
        } catch (const media::MediaError& error) {
            using Kind = media::MediaError::Kind;
            switch (error.ErrorKind()) {
            case Kind::BadArgument:
                PyErr_SetString(PyExc_ValueError, error.what());
                return;
            case Kind::Decoder: {
                const DecoderResultName* row = FindDecoderResult(error.Code());
                Raise("DecodeError", row ? row->name : "Unknown", error.what(), py::int_(error.Code()));
                return;
            }
            case Kind::Engine:
                // Engine statuses are negative; 0 marks a failure outside the status table.
                Raise("EngineError", error.CodeName().empty() ? "Unknown" : error.CodeName(), error.what(),
                      error.Code() != 0 ? py::object(py::int_(error.Code())) : py::object(py::none()));
                return;
            case Kind::Failure:
                Raise("ClipError",
                      error.Hint() == media::MediaError::Remedy::MaxPixels ? "MaxPixels" : "Failure",
                      error.what(), py::none());
                return;
            }
        }
    });
}

} // namespace tsr::python
