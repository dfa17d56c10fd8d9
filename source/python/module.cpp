// The Python module tesselraw: the bindings of clips, frames, the codec functions and the engine
// listing. Work on pictures runs without the GIL; arrays are made once it is held again.
#include <pthread.h>

#include <optional>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "python/clip.h"
#include "python/codec.h"
#include "python/errors.h"
#include "python/frame.h"
#include "python/prefetch.h"
#include "python/records.h"
#include "tsr/media/rgbaengine.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace tsr::python {

namespace {

int CheckedScale(int scale) {
    if (scale < 0 || scale > 3)
        throw py::value_error("scale is 0..3 (full, half, quarter or eighth size), not " +
                              std::to_string(scale));
    return scale;
}

// A path as str, bytes or os.PathLike.
std::string PathText(const py::object& path) {
    return py::str(py::module_::import("os").attr("fsdecode")(path));
}

py::array ToArray(PictureBuffer& picture, const char* dtype) {
    std::vector<py::ssize_t> shape = {picture.height, picture.width};
    if (picture.channels > 1) shape.push_back(picture.channels);
    return picture.bytes.ToArray(py::dtype(dtype), shape);
}

// numerator and denominator of an int, a fractions.Fraction or a float (to 1/1001000).
std::pair<int, int> RateFrom(const py::object& rate) {
    py::object fraction = py::module_::import("fractions").attr("Fraction");
    py::object value;
    if (py::isinstance<py::float_>(rate))
        value = fraction(rate).attr("limit_denominator")(1001000);
    else if (py::hasattr(rate, "numerator") && py::hasattr(rate, "denominator"))
        value = rate;
    else
        throw py::type_error("frame_rate is a number such as 24 or Fraction(30000, 1001)");
    const long long numerator = value.attr("numerator").cast<long long>();
    const long long denominator = value.attr("denominator").cast<long long>();
    if (numerator <= 0 || denominator <= 0 || numerator > 1000000 || denominator > 1000000)
        throw py::value_error("frame_rate is positive, with numerator and denominator up to 1000000");
    return {static_cast<int>(numerator), static_cast<int>(denominator)};
}

media::DebayerSettings DebayerSettingsFrom(int curve, const std::string& dtype, const py::object& colour) {
    media::DebayerSettings settings;
    if (curve < 0 || curve > 8) throw py::value_error("curve is 0..8, not " + std::to_string(curve));
    settings.curve = static_cast<unsigned>(curve);
    if (dtype != "float16" && dtype != "float32")
        throw py::value_error("dtype is \"float16\" or \"float32\", not \"" + dtype + "\"");
    settings.floatOutput = dtype == "float32";
    if (!colour.is_none()) {
        std::vector<double> values;
        try {
            values = colour.cast<std::vector<double>>();
        } catch (const py::cast_error&) {
            throw py::type_error(
                "colour is 12 numbers: gain0, gain1, the 3x3 matrix (row-major) and exposure");
        }
        if (values.size() != 12)
            throw py::value_error("colour is 12 numbers (gain0, gain1, 3x3 matrix, exposure), not " +
                                  std::to_string(values.size()));
        settings.hasColour = true;
        for (size_t i = 0; i < 12; ++i) settings.colour[i] = static_cast<float>(values[i]);
    }
    return settings;
}

// The bytes of a contiguous bytes-like object (bytes, bytearray, memoryview, uint8 array).
std::vector<uint8_t> BufferBytes(const py::buffer& data) {
    const py::buffer_info info = data.request();
    py::ssize_t expected = info.itemsize;
    for (py::ssize_t i = info.ndim; i-- > 0;) {
        if (info.strides[static_cast<size_t>(i)] != expected)
            throw py::type_error("frame bytes must be contiguous (bytes, bytearray or a contiguous array)");
        expected *= info.shape[static_cast<size_t>(i)];
    }
    const auto* begin = static_cast<const uint8_t*>(info.ptr);
    return std::vector<uint8_t>(begin, begin + info.size * info.itemsize);
}

py::object DamagedValue(const std::string& damaged) {
    if (damaged.empty()) return py::bool_(false);
    return py::str(damaged);
}

// Frames in order; the next one is read and decoded ahead while the caller works on this one.
class ClipIterator {
public:
    explicit ClipIterator(std::shared_ptr<Clip> clip) : m_clip(std::move(clip)) {}
    ClipIterator(const ClipIterator&) = delete;
    ClipIterator& operator=(const ClipIterator&) = delete;
    ~ClipIterator() {
        if (m_next < m_clip->FrameCount()) m_clip->EndLoop();
    }
    std::shared_ptr<Frame> Next() {
        if (m_next >= m_clip->FrameCount()) throw py::stop_iteration();
        if (m_clip->Closed()) throw py::value_error("the clip is closed");
        const int index = m_next++;
        const py::gil_scoped_release release;
        return m_clip->NextFrame(index, m_next < m_clip->FrameCount() ? m_next : -1);
    }

private:
    std::shared_ptr<Clip> m_clip;
    int m_next = 0;
};

std::shared_ptr<Frame> FrameAt(Clip& clip, py::ssize_t index) {
    const py::ssize_t count = clip.FrameCount();
    if (index < 0) index += count;
    if (index < 0 || index >= count) throw py::index_error("frame index out of range");
    if (clip.Closed()) throw py::value_error("the clip is closed");
    const py::gil_scoped_release release;
    return clip.ReadFrame(static_cast<int>(index));
}

std::string FrameRepr(const Frame& frame) {
    const media::FrameSize size = media::FrameSizeOf(frame.Bytes());
    return "<tesselraw.Frame " +
           (frame.Index() < 0 ? std::string("") : std::to_string(frame.Index()) + ", ") +
           std::to_string(size.width) + "x" + std::to_string(size.height) + ", " +
           std::to_string(frame.Bytes().size()) + " bytes>";
}

} // namespace

} // namespace tsr::python

PYBIND11_MODULE(_tesselraw, module) {
    using namespace tsr::python;
    using tsr::media::MediaError;
    module.doc() = "Tessel RAW clips and frames as numpy arrays";
    module.attr("__version__") = TSR_VERSION;
    RegisterErrors(module);
    // multiprocessing forks by default on Linux, and data loaders fork workers.
    pthread_atfork(nullptr, nullptr, [] {
        StartPoolsInChild();
        ForgetIdleBuffersInChild();
    });
    pthread_atfork(
        PrefetchersBeforeFork, [] { PrefetchersAfterFork(false); }, [] { PrefetchersAfterFork(true); });

    py::class_<Frame, std::shared_ptr<Frame>>(module, "Frame",
                                              "One compressed frame of a clip, or on its own")
        .def_property_readonly(
            "index",
            [](const Frame& f) -> py::object {
                return f.Index() < 0 ? py::object(py::none()) : py::object(py::int_(f.Index()));
            },
            "The frame's place in its clip; None for a frame on its own")
        .def_property_readonly("scale", &Frame::Scale,
                               "The scale index of info and of bayer() and process() without one")
        .def_property_readonly(
            "data",
            [](const Frame& f) {
                return py::bytes(reinterpret_cast<const char*>(f.Bytes().data()), f.Bytes().size());
            },
            "The compressed frame")
        .def_property_readonly(
            "info",
            [](Frame& f) {
                TsrFrameInfoRecord record;
                {
                    const py::gil_scoped_release release;
                    record = f.Info();
                }
                return InfoRecordDict(record);
            },
            "The frame info record of a decode at the frame's scale, as a dict")
        .def_property_readonly(
            "metadata", [](const Frame& f) { return MetadataRecordDict(f.Metadata()); },
            "The frame metadata record of the header, as a dict")
        .def_property_readonly(
            "damaged",
            [](Frame& f) {
                std::string damaged;
                {
                    const py::gil_scoped_release release;
                    damaged = f.Damaged();
                }
                return DamagedValue(damaged);
            },
            "False, or what is damaged: slices the decoder skips (their areas are black), or why it refuses "
            "the frame")
        .def(
            "bayer",
            [](Frame& f, std::optional<int> scale) {
                const int s = scale ? CheckedScale(*scale) : f.Scale();
                PictureBuffer picture;
                {
                    const py::gil_scoped_release release;
                    picture = f.Bayer(s);
                }
                return ToArray(picture, "uint16");
            },
            "The decoder's output as uint16: (H, W) photosites at scale 0, (H>>s, W>>s, 4) pixels of red, "
            "green, blue and 65535 at scale 1..3",
            "scale"_a = py::none())
        .def(
            "process",
            [](Frame& f, int curve, const std::string& dtype, const std::string& engine,
               std::optional<int> scale, const py::object& colour, const std::optional<std::string>& device,
               int threads) {
                const int s = scale ? CheckedScale(*scale) : f.Scale();
                const tsr::media::DebayerSettings settings = DebayerSettingsFrom(curve, dtype, colour);
                tsr::media::EngineChoice choice;
                choice.engine = engine;
                choice.device = device.value_or("");
                if (threads < 0) throw py::value_error("threads is 0 (one per processor) or more");
                choice.threads = threads;
                PictureBuffer picture;
                {
                    const py::gil_scoped_release release;
                    picture = f.Process(s, settings, choice);
                }
                return ToArray(picture, settings.floatOutput ? "float32" : "float16");
            },
            "The engine's RGBA of the frame: (H, W, 4) float16 or float32 at the scale's size", "curve"_a = 1,
            "dtype"_a = "float16", "engine"_a = "auto", "scale"_a = py::none(), "colour"_a = py::none(),
            "device"_a = py::none(), "threads"_a = 0)
        .def("__repr__", &FrameRepr);

    py::class_<ClipIterator>(module, "ClipIterator")
        .def("__iter__", [](const py::object& self) { return self; })
        .def("__next__", &ClipIterator::Next);

    py::class_<Clip, std::shared_ptr<Clip>>(module, "Clip", "An open clip; frames are read on demand")
        .def("__len__", &Clip::FrameCount)
        .def("__getitem__", &FrameAt, "index"_a)
        .def(
            "__getitem__",
            [](Clip& clip, const py::slice& slice) {
                py::ssize_t start = 0, stop = 0, step = 0, length = 0;
                if (!slice.compute(clip.FrameCount(), &start, &stop, &step, &length))
                    throw py::error_already_set();
                py::list frames;
                for (py::ssize_t i = 0; i < length; ++i) frames.append(FrameAt(clip, start + i * step));
                return frames;
            },
            "frames"_a)
        .def("__iter__",
             [](const std::shared_ptr<Clip>& clip) { return std::make_unique<ClipIterator>(clip); })
        .def("__enter__", [](const std::shared_ptr<Clip>& clip) { return clip; })
        .def("__exit__",
             [](Clip& clip, const py::args&) {
                 const py::gil_scoped_release release;
                 clip.Close();
             })
        .def("close", &Clip::Close, py::call_guard<py::gil_scoped_release>(),
             "Closes the file; frames and arrays already made stay valid")
        .def_property_readonly("closed", &Clip::Closed)
        .def_property_readonly("path", &Clip::Path)
        .def_property_readonly(
            "container", [](const Clip& c) { return c.Properties().container; },
            "\"quicktime\", or \"frames\" for frames back to back")
        .def_property_readonly(
            "fourcc",
            [](const Clip& c) -> py::object {
                if (c.Properties().fourcc == 0) return py::none();
                return py::str(tsr::media::FourCCText(c.Properties().fourcc));
            },
            "The QuickTime track's sample type (\"tsrn\" or \"tsrh\"); None for plain frames")
        .def_property_readonly(
            "frame_rate",
            [](const Clip& c) -> py::object {
                const tsr::media::ClipProperties& p = c.Properties();
                if (p.frameRateNumerator <= 0 || p.frameRateDenominator <= 0) return py::none();
                return py::module_::import("fractions")
                    .attr("Fraction")(p.frameRateNumerator, p.frameRateDenominator);
            },
            "Frames a second as a fractions.Fraction; None when the file does not say")
        .def_property_readonly("width", [](const Clip& c) { return c.Size().width; })
        .def_property_readonly("height", [](const Clip& c) { return c.Size().height; })
        .def_property_readonly(
            "timecode",
            [](const Clip& c) -> py::object {
                if (c.Properties().timecode.empty()) return py::none();
                return py::str(c.Properties().timecode);
            },
            "The first frame's time code \"HH:MM:SS:FF\"; None when the clip has none")
        .def("__repr__", [](const Clip& c) {
            return "<tesselraw.Clip " + c.Path() + ", " + std::to_string(c.FrameCount()) + " frames" +
                   (c.Closed() ? ", closed>" : ">");
        });

    module.def(
        "open",
        [](const py::object& path) {
            // "-" is a file here, as for Python's open(), not the media library's standard input.
            const std::string text = PathText(path) == "-" ? "./-" : PathText(path);
            const py::gil_scoped_release release;
            return std::make_shared<Clip>(text);
        },
        "Opens a clip by content: QuickTime, frames back to back, or a single frame", "path"_a);

    module.def(
        "decode",
        [](const py::buffer& data, int scale) {
            CheckedScale(scale);
            auto bytes = std::make_shared<const std::vector<uint8_t>>(BufferBytes(data));
            auto frame = std::make_shared<Frame>(std::move(bytes), -1, scale);
            {
                const py::gil_scoped_release release;
                frame->DecodeNow();
            }
            return frame;
        },
        "Decodes the bytes of one frame at `scale` (raises DecodeError for a refused frame)", "data"_a,
        "scale"_a = 0);

    module.def(
        "encode",
        [](const py::object& bayer, int pattern, int quality, std::optional<double> bits, int whiteLevel,
           const py::object& gains, const py::object& matrix, double exposure) {
            return EncodeBayer(
                bayer, EncoderSettingsFrom(pattern, quality, bits, whiteLevel, gains, matrix, exposure));
        },
        "Encodes a uint16 (H, W) Bayer mosaic (sensor values, black 256) into the bytes of one frame",
        "bayer"_a, "pattern"_a = 0, "quality"_a = 4, py::kw_only(), "bits_per_photosite"_a = py::none(),
        "white_level"_a = 4095, "gains"_a = py::make_tuple(1.0, 1.0), "matrix"_a = py::none(),
        "exposure"_a = 1.0);

    module.def(
        "write_clip",
        [](const py::object& path, const py::iterable& frames, const py::object& frameRate, int pattern,
           int quality, std::optional<double> bits, int whiteLevel, const py::object& gains,
           const py::object& matrix, double exposure, const std::string& fourcc,
           const std::optional<std::string>& timecode) {
            const auto [numerator, denominator] = RateFrom(frameRate);
            WriteClip(PathText(path), frames, numerator, denominator, fourcc, timecode,
                      EncoderSettingsFrom(pattern, quality, bits, whiteLevel, gains, matrix, exposure));
        },
        "Writes a clip of uint16 (H, W) mosaics (encoded as encode() does) or frames' bytes: QuickTime for "
        ".mov and .qt, else frames back to back",
        "path"_a, "frames"_a, "frame_rate"_a = 24, py::kw_only(), "pattern"_a = 0, "quality"_a = 4,
        "bits_per_photosite"_a = py::none(), "white_level"_a = 4095, "gains"_a = py::make_tuple(1.0, 1.0),
        "matrix"_a = py::none(), "exposure"_a = 1.0, "fourcc"_a = "tsrn", "timecode"_a = py::none());

    module.def(
        "engines",
        [](int threads) {
            if (threads < 0) throw py::value_error("threads is 0 (one per processor) or more");
            tsr::media::EngineListing listing;
            {
                const py::gil_scoped_release release;
                listing = tsr::media::ListEngines(threads);
            }
            return EngineListDicts(listing);
        },
        "The engines process() can use: the CPU engine and every OpenCL device", "threads"_a = 0);
}
