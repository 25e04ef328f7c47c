// velmor_kanji._native: the Python package's way into velmor-convert's conversion of
// one input (convertBytes), with the GIL released while it runs.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "cli/texts.h"
#include "commands/convertfile.h"
#include "convert/gaijitable.h"
#include "document/hugepages.h"
#include "document/outputsink.h"

namespace py = pybind11;

namespace {

using namespace velmor;

// A gaiji table as load_gaiji gives it, with the pair tables made from it.
struct Gaiji {
    GaijiTable table;
    std::shared_ptr<const GaijiPairTables> pairs;
};

std::shared_ptr<Gaiji> loadGaiji(const std::string& path) {
    auto gaiji = std::make_shared<Gaiji>();
    gaiji->table = loadGaijiTable(path);
    gaiji->pairs = std::make_shared<const GaijiPairTables>(gaiji->table);
    return gaiji;
}

ConvertSettings settingsFor(const std::string& direction) {
    ConvertSettings settings;
    settings.policy.emptyConverts = true;  // as velmor-convert: empty input, empty output
    if (direction == "to-sjis" || direction == "to-utf8") {
        settings.direction = Direction::ToSjis;
    } else if (direction == "to-velmor" || direction == "from-utf8") {
        settings.direction = Direction::ToVelmor;
    } else {
        throw py::value_error("direction must be to-sjis, to-velmor, to-utf8 or from-utf8, not " +
                              direction);
    }
    settings.utf8 = direction == "to-utf8" || direction == "from-utf8";
    return settings;
}

// The output written straight into the bytes object handed back, as far as the room
// made for it goes, and the rest into `overflow`: large outputs then cost one copy.
class BytesSink : public OutputSink {
  public:
    BytesSink(char* data, std::size_t capacity) : data_(data), capacity_(capacity) {
        adviseHugePages(data, capacity);
    }
    void write(std::string_view bytes) override {
        const std::size_t n = std::min(bytes.size(), capacity_ - used_);
        std::memcpy(data_ + used_, bytes.data(), n);
        used_ += n;
        overflow_.append(bytes.substr(n));
    }
    void finish() override {}
    void abandon() override {
        used_ = 0;
        overflow_.clear();
    }
    std::size_t used() const { return used_; }
    const std::string& overflow() const { return overflow_; }

  private:
    char* data_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    std::string overflow_;
};

// Where a check writes: nowhere.
class NoSink : public OutputSink {
  public:
    void write(std::string_view) override {}
    void finish() override {}
};

// A bytes object of `size` bytes, not filled; the room an output is likely to need
// (four times its input), or less where that much cannot be had.
py::object roomFor(std::size_t input) {
    for (std::size_t size : {4 * input + 64, input + input / 2 + 64, std::size_t{64}}) {
        PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
        if (bytes != nullptr) return py::reinterpret_steal<py::object>(bytes);
        PyErr_Clear();
    }
    throw std::bad_alloc();
}

// Raises the exception of velmor_kanji._errors that stands for a refused or failed
// conversion, with velmor-convert's message for it (what follows the file's name on
// its line).
[[noreturn]] void raiseFor(const FileResult& result) {
    const py::module_ errors = py::module_::import("velmor_kanji._errors");
    py::object error;
    if (result.outcome == FileOutcome::Refused) {
        error = errors.attr("ConversionRefused")(refusalText(result),
                                                 std::string(refusalName(result.refusal)));
    } else if (result.code != 0) {
        error = errors.attr("FileError")(failureText(result), result.code, result.systemError,
                                         py::bytes(result.path), result.keptCopy);
    } else if (result.resourcesShort) {
        error = py::module_::import("builtins").attr("MemoryError")(failureText(result));
    } else {
        error = errors.attr("VelmorError")(failureText(result));
    }
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}

ConvertSettings settingsFor(const std::string& direction, bool force,
                            const std::shared_ptr<Gaiji>& gaiji, bool keepLineEnds, bool report) {
    ConvertSettings settings = settingsFor(direction);
    settings.policy.force = force;
    settings.keepLineEnds = keepLineEnds;
    settings.report = report;
    if (gaiji) {
        settings.gaiji = &gaiji->table;
        settings.tables = gaiji->pairs->tables();
    }
    return settings;
}

py::list entriesOf(const ConversionReport& report) {
    py::list entries;
    for (const ReportEntry& entry : report.entries()) {
        entries.append(py::make_tuple(std::string(reportKindName(entry.kind)), entry.line,
                                      entry.column, py::bytes(entry.bytes), entry.length));
    }
    return entries;
}

py::tuple convert(const py::bytes& data, const std::string& direction, bool force,
                  const std::shared_ptr<Gaiji>& gaiji, bool keepLineEnds, bool report, bool check) {
    ConvertSettings settings = settingsFor(direction, force, gaiji, keepLineEnds, report || check);
    settings.check = check;
    const std::string_view input(PyBytes_AS_STRING(data.ptr()),
                                 static_cast<std::size_t>(PyBytes_GET_SIZE(data.ptr())));
    py::object output = check ? py::object(py::none()) : roomFor(input.size());
    std::optional<BytesSink> sink;
    if (!check) {
        sink.emplace(PyBytes_AS_STRING(output.ptr()),
                     static_cast<std::size_t>(PyBytes_GET_SIZE(output.ptr())));
    }
    FileResult result;
    {
        py::gil_scoped_release released;  // `data` stays referenced, and bytes never change
        if (sink) {
            result = convertBytes(input, *sink, settings);
        } else {
            NoSink none;
            result = convertBytes(input, none, settings);
        }
    }
    if (result.outcome != FileOutcome::Converted) raiseFor(result);
    if (sink && sink->overflow().empty()) {
        PyObject* bytes = output.release().ptr();
        if (_PyBytes_Resize(&bytes, static_cast<Py_ssize_t>(sink->used())) != 0) {
            throw py::error_already_set();
        }
        output = py::reinterpret_steal<py::object>(bytes);
    } else if (sink) {
        std::string whole(PyBytes_AS_STRING(output.ptr()), sink->used());
        whole += sink->overflow();
        output = py::bytes(whole);
    }
    return py::make_tuple(output, entriesOf(result.report));
}

// velmor-convert's conversion of one file to another, streamed and saved safely.
py::list convertFileTo(const std::string& input, const std::string& output,
                       const std::string& direction, bool force,
                       const std::shared_ptr<Gaiji>& gaiji, bool keepLineEnds) {
    const ConvertSettings settings = settingsFor(direction, force, gaiji, keepLineEnds, true);
    FileResult result;
    {
        py::gil_scoped_release released;
        result = convertFile({input, output}, settings);
    }
    if (result.outcome != FileOutcome::Converted) raiseFor(result);
    return entriesOf(result.report);
}

}  // namespace

PYBIND11_MODULE(_native, m) {
    m.doc() = "velmor-convert's conversion of one input, for the velmor_kanji package.";
    py::class_<Gaiji, std::shared_ptr<Gaiji>>(m, "GaijiTable")
        .def("__len__", [](const Gaiji& gaiji) { return gaiji.table.size(); })
        .def("__repr__", [](const Gaiji& gaiji) {
            return "<velmor_kanji.GaijiTable of " + std::to_string(gaiji.table.size()) +
                   " mappings>";
        });
    m.def(
        "load_gaiji",
        [](const std::string& path) {
            try {
                py::gil_scoped_release released;
                return loadGaiji(path);
            } catch (const EInOutError& error) {
                FileResult result;
                result.outcome = FileOutcome::Failed;
                result.message = error.message();
                result.code = error.ErrorCode;
                result.systemError = error.SystemError;
                result.path = error.FileName;
                raiseFor(result);
            } catch (const EGaijiTableError& error) {
                const py::module_ errors = py::module_::import("velmor_kanji._errors");
                PyErr_SetString(errors.attr("GaijiTableError").ptr(),
                                gaijiTableText(error).c_str());
                throw py::error_already_set();
            }
        },
        py::arg("path"));
    m.def("convert", &convert, py::arg("data"), py::arg("direction"), py::arg("force") = false,
          py::arg("gaiji") = nullptr, py::arg("keep_line_ends") = false, py::arg("report") = false,
          py::arg("check") = false,
          "Converts `data` as velmor-convert converts a file; returns (output or None with "
          "check, [(kind, line, column, bytes, length), ...]).");
    m.def("convert_file", &convertFileTo, py::arg("input"), py::arg("output"), py::arg("direction"),
          py::arg("force") = false, py::arg("gaiji") = nullptr, py::arg("keep_line_ends") = false,
          "Converts the file `input` into the file `output` as velmor-convert does; returns "
          "the report's entries.");
}
