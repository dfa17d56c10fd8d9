#include "python/codec.h"

#include <cmath>
#include <future>
#include <thread>
#include <vector>

#include "common/processorcount.h"
#include "tsr/framerecords.h"
#include "tsr/media/clip.h"
#include "tsr/media/mediaerror.h"
#include "tsr/media/timecode.h"

namespace py = pybind11;

namespace tsr::python {

namespace {

// A uint16 mosaic as the encoder reads it: rows `pitch` samples apart.
struct MosaicView {
    py::array array; // keeps the samples alive
    const uint16_t* samples = nullptr;
    int width = 0, height = 0;
    ptrdiff_t pitch = 0;
};

MosaicView ViewMosaic(const py::object& object) {
    if (!py::isinstance<py::array>(object))
        throw py::type_error("a Bayer mosaic is a numpy array of uint16, not " +
                             std::string(py::str(py::type::of(object).attr("__name__"))));
    py::array array = py::reinterpret_borrow<py::array>(object);
    if (!array.dtype().is(py::dtype::of<uint16_t>()))
        throw py::type_error("a Bayer mosaic is an array of uint16, not " +
                             std::string(py::str(array.dtype())));
    if (array.ndim() != 2)
        throw py::value_error("a Bayer mosaic has two dimensions (height, width), not " +
                              std::to_string(array.ndim()));
    const py::ssize_t height = array.shape(0), width = array.shape(1);
    if (width < 2 || height < 2 || width > 65534 || height > 65534 || (width & 1) || (height & 1))
        throw py::value_error("a Bayer mosaic needs an even width and height from 2 to 65534, not " +
                              std::to_string(width) + "x" + std::to_string(height));
    // Rows of adjacent samples at a forward pitch are read in place; anything else is copied.
    const bool inPlace = array.strides(1) == 2 && array.strides(0) >= 2 * width && array.strides(0) % 2 == 0;
    if (!inPlace) array = py::array_t<uint16_t, py::array::c_style>::ensure(array);
    MosaicView view;
    view.samples = static_cast<const uint16_t*>(array.data());
    view.width = static_cast<int>(width);
    view.height = static_cast<int>(height);
    view.pitch = inPlace ? array.strides(0) / 2 : width;
    view.array = std::move(array);
    return view;
}

std::vector<uint8_t> Encode(const MosaicView& mosaic, const EncoderSettings& settings) {
    std::vector<uint8_t> frame =
        EncodeFrame(mosaic.samples, mosaic.width, mosaic.height, mosaic.pitch, settings);
    if (frame.empty()) throw media::MediaError("the encoder refused the picture");
    return frame;
}

template <size_t N> std::array<float, N> Floats(const py::object& values, const char* what) {
    std::array<float, N> out{};
    std::vector<double> numbers;
    try {
        numbers = values.cast<std::vector<double>>();
    } catch (const py::cast_error&) {
        throw py::type_error(std::string(what) + " is a sequence of " + std::to_string(N) + " numbers");
    }
    if (numbers.size() != N)
        throw py::value_error(std::string(what) + " has " + std::to_string(N) + " numbers, not " +
                              std::to_string(numbers.size()));
    for (size_t i = 0; i < N; ++i) {
        if (!std::isfinite(numbers[i]))
            throw py::value_error(std::string(what) + " holds a number that is not finite");
        out[i] = static_cast<float>(numbers[i]);
    }
    return out;
}

} // namespace

EncoderSettings EncoderSettingsFrom(int pattern, int quality, std::optional<double> bitsPerPhotosite,
                                    int whiteLevel, const py::object& gains, const py::object& matrix,
                                    double exposure) {
    EncoderSettings settings;
    if (pattern < 0 || pattern > 3) throw py::value_error("pattern is 0..3, not " + std::to_string(pattern));
    settings.bayerPattern = pattern;
    if (quality < 1 || quality > 255)
        throw py::value_error("quality is the quantiser scale 1..255, not " + std::to_string(quality));
    settings.qScale = quality;
    if (bitsPerPhotosite) {
        if (!(*bitsPerPhotosite > 0) || !std::isfinite(*bitsPerPhotosite))
            throw py::value_error("bits_per_photosite is a positive number");
        settings.targetBitsPerPhotosite = *bitsPerPhotosite;
    }
    if (whiteLevel <= TSR_BLACK_LEVEL || whiteLevel > TSR_BLACK_LEVEL + 0xFFFF)
        throw py::value_error("white_level is 257..65791 (black is 256), not " + std::to_string(whiteLevel));
    settings.whiteLevelCode = static_cast<uint16_t>(whiteLevel - TSR_BLACK_LEVEL);
    const std::array<float, 2> gainValues = Floats<2>(gains, "gains");
    settings.gain0 = gainValues[0];
    settings.gain1 = gainValues[1];
    if (!matrix.is_none()) settings.colorMatrix = Floats<9>(matrix, "matrix");
    if (!std::isfinite(exposure)) throw py::value_error("exposure is a finite number");
    settings.auxFloat = static_cast<float>(exposure);
    return settings;
}

py::bytes EncodeBayer(const py::object& bayer, const EncoderSettings& settings) {
    const MosaicView mosaic = ViewMosaic(bayer);
    std::vector<uint8_t> frame;
    {
        const py::gil_scoped_release release;
        frame = Encode(mosaic, settings);
    }
    return py::bytes(reinterpret_cast<const char*>(frame.data()), frame.size());
}

void WriteClip(const std::string& path, const py::iterable& frames, int rateNumerator, int rateDenominator,
               const std::string& fourcc, const std::optional<std::string>& timecode,
               const EncoderSettings& settings) {
    media::ClipWriterSettings clipSettings;
    if (fourcc == "tsrn")
        clipSettings.fourcc = media::kFourCCTsrn;
    else if (fourcc == "tsrh")
        clipSettings.fourcc = media::kFourCCTsrh;
    else
        throw py::value_error("fourcc is \"tsrn\" or \"tsrh\", not \"" + fourcc + "\"");
    clipSettings.frameRateNumerator = rateNumerator;
    clipSettings.frameRateDenominator = rateDenominator;
    if (timecode) clipSettings.timecode = media::Timecode(*timecode, rateNumerator, rateDenominator).Text(0);

    std::unique_ptr<media::ClipWriter> writer;
    {
        const py::gil_scoped_release release;
        writer = media::CreateClipWriter(path, clipSettings);
    }
    // Arrays are encoded a batch at a time, one per processor, and appended in order.
    const size_t batchSize = static_cast<size_t>(tsr::ProcessorCount());
    std::vector<MosaicView> mosaics;
    std::vector<std::vector<uint8_t>> encoded; // frames given as bytes, or the batch's results
    std::vector<bool> isMosaic;
    int count = 0, width = 0, height = 0;
    auto flush = [&] {
        {
            const py::gil_scoped_release release;
            std::vector<std::future<std::vector<uint8_t>>> jobs;
            for (const MosaicView& mosaic : mosaics)
                jobs.push_back(std::async(std::launch::async,
                                          [&mosaic, &settings] { return Encode(mosaic, settings); }));
            size_t job = 0;
            for (size_t i = 0; i < encoded.size(); ++i) {
                if (isMosaic[i]) encoded[i] = jobs[job++].get();
                writer->Append(encoded[i]);
            }
        }
        mosaics.clear();
        encoded.clear();
        isMosaic.clear();
    };
    for (const py::handle item : frames) {
        const py::object object = py::reinterpret_borrow<py::object>(item);
        std::vector<uint8_t> bytes;
        media::FrameSize size;
        if (py::isinstance<py::bytes>(object) || py::isinstance<py::bytearray>(object) ||
            py::isinstance<py::memoryview>(object)) {
            const py::buffer_info info = py::reinterpret_borrow<py::buffer>(object).request();
            const auto* data = static_cast<const uint8_t*>(info.ptr);
            bytes.assign(data, data + info.size * info.itemsize);
            size = media::FrameSizeOf(bytes);
            if (size.width == 0)
                throw py::value_error("frame " + std::to_string(count) +
                                      " is bytes that do not start with a frame header");
            encoded.push_back(std::move(bytes));
            isMosaic.push_back(false);
        } else {
            MosaicView mosaic = ViewMosaic(object);
            size = {mosaic.width, mosaic.height};
            mosaics.push_back(std::move(mosaic));
            encoded.emplace_back();
            isMosaic.push_back(true);
        }
        if (count == 0) {
            width = size.width;
            height = size.height;
        } else if (size.width != width || size.height != height) {
            throw py::value_error("frame " + std::to_string(count) + " is " + std::to_string(size.width) +
                                  "x" + std::to_string(size.height) + ", the clip's first frame " +
                                  std::to_string(width) + "x" + std::to_string(height));
        }
        ++count;
        if (mosaics.size() == batchSize) flush();
    }
    flush();
    if (count == 0) throw py::value_error("a clip needs at least one frame");
    const py::gil_scoped_release release;
    writer->Finish();
}

} // namespace tsr::python
