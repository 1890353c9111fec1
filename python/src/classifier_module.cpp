// ombrel._classifier: the re-entrant engine and the command's signal-file
// reader for Python. Every classification runs on a copy of the engine's
// context, so calls from any number of threads share only the read-only
// knowledge; the GIL is released while they classify.
#include "classifier_context.h"
#include "error_blocks.h"
#include "input_file.h"
#include "line_count.h"
#include "line_tally.h"
#include "misalignment_warning.h"
#include "signal_line.h"
#include "signal_stream.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;

static_assert(SIGNAL_LINE_VALUES == INPUT_LENGTH);

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

// ombrel._classifier.KnowledgeRefused (a ValueError), raised by Engine with
// the arguments (message, library status). Kept alive by the module.
PyObject* knowledge_refused = nullptr;
struct KnowledgeRefusedError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A knowledge the library accepted and the context that points into it. The
// engine owns its copy of the floats, so the context's views live exactly as
// long as it. A knowledge the library refuses makes no engine: the
// constructor raises KnowledgeRefused.
struct Engine {
    std::vector<float> knowledge;
    ClassifierContext context{};
    LibraryStatus status = STATUS_INIT_NOT_CALLED;

    explicit Engine(const FloatArray& floats)
        : knowledge(floats.data(), floats.data() + floats.size())
    {
        // Floats past 152 + 69 * 23 are never read: a longer buffer may be
        // announced by the largest count the engine takes.
        const auto count = knowledge.size() > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(knowledge.size());
        status = classifier_context_init(&context, knowledge.data(), count);
        if (status != STATUS_OK) {
            const std::string message = "the library refuses this knowledge (status " + std::to_string(status) + ")";
            PyErr_SetObject(knowledge_refused, py::make_tuple(message, status).ptr());
            throw py::error_already_set();
        }
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // rows: (n, INPUT_LENGTH) C-ordered. Returns (probabilities (n, 4) float32,
    // class ids (n,) uint8).
    py::tuple classify(const FloatArray& rows) const
    {
        if (rows.ndim() != 2 || rows.shape(1) != INPUT_LENGTH) {
            throw py::value_error("rows must have shape (n, 64)");
        }
        const auto n = rows.shape(0);
        py::array_t<float> probabilities({n, static_cast<py::ssize_t>(CLASS_COUNT)});
        py::array_t<std::uint8_t> class_ids(n);
        const float* in = rows.data();
        float* out = probabilities.mutable_data();
        std::uint8_t* ids = class_ids.mutable_data();
        {
            py::gil_scoped_release unlocked;
            ClassifierContext own = context;
            for (py::ssize_t i = 0; i < n; ++i) {
                std::uint16_t class_id = 0;
                classifier_context_run(&own, in + i * INPUT_LENGTH, out + i * CLASS_COUNT, &class_id);
                ids[i] = static_cast<std::uint8_t>(class_id);
            }
        }
        return py::make_tuple(probabilities, class_ids);
    }

    py::dict trace(const FloatArray& signal) const
    {
        if (signal.size() != INPUT_LENGTH) {
            throw py::value_error("a signal has 64 values");
        }
        ClassifierContext own = context;
        ClassifierTrace t{};
        classifier_context_trace(&own, signal.data(), &t);
        const auto copy = [](const float* values, py::ssize_t count) {
            py::array_t<float> a(count);
            std::memcpy(a.mutable_data(), values, static_cast<std::size_t>(count) * sizeof(float));
            return a;
        };
        py::dict stages;
        stages["standardised"] = copy(t.standardised, INPUT_LENGTH);
        stages["hidden"] = copy(t.hidden, t.unit_count);
        stages["scores"] = copy(t.scores, CLASS_COUNT);
        stages["probabilities"] = copy(t.probabilities, CLASS_COUNT);
        stages["class_id"] = static_cast<int>(t.class_id);
        return stages;
    }
};

// The command's error block, the signal file's path as its detail, and the
// failing line (or None).
py::tuple failure(ErrorBlock block, const std::string& path, py::object line = py::none())
{
    std::string message;
    for (const char* const* text = error_block_lines(block); *text != nullptr; ++text) {
        // No signal-file block carries a number.
        message += error_line_detail(*text) == 1 ? path.c_str() : *text;
    }
    return py::make_tuple(py::none(), py::none(), message, line, py::none());
}

// The line count, or the failure's tuple.
std::optional<py::tuple> count_lines(const std::string& path, std::FILE* file, std::int64_t* count)
{
    const LineCount counted = count_line_feeds(path.c_str(), file);
    switch (counted.outcome) {
    case LineCountOutcome::COUNTED:
        *count = counted.line_feeds;
        return std::nullopt;
    case LineCountOutcome::NOT_OPENED:
        return failure(ErrorBlock::SIGNAL_FILE_NOT_OPENED, path);
    case LineCountOutcome::READ_FAILED:
        break;
    }
    return failure(ErrorBlock::SIGNAL_UNREADABLE, path);
}

// Reads the signals of lines begin to end (counted from 1) as the command's
// file mode does; a bound not given takes the value the six-word form gives
// it: the first line, the file's line count. Returns (values (n, 64)
// float32, line numbers (n,) int64, None, None, warning), or (None, None,
// the command's message, the failing line or None, warning); warning is
// the command's misalignment warning without the program's name, or None.
py::tuple read_signals(const py::bytes& path_bytes, std::optional<std::int64_t> begin,
                       std::optional<std::int64_t> end)
{
    const std::string path = path_bytes;
    bool empty = false;
    std::FILE* file = open_input_file(path.c_str(), &empty);
    if (file == nullptr) {
        return failure(ErrorBlock::SIGNAL_FILE_NOT_OPENED, path);
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
    if (empty) {
        return failure(ErrorBlock::FILE_EMPTY, path);
    }
    // The command's window checks, begin first.
    if (begin && *begin <= 0) {
        return failure(ErrorBlock::BEGIN_NOT_POSITIVE, path);
    }
    const std::int64_t first = begin.value_or(1);
    std::int64_t last = 0;
    if (end) {
        if (*end <= 0) {
            return failure(ErrorBlock::END_NOT_POSITIVE, path);
        }
        if (*end < first) {
            return failure(ErrorBlock::WINDOW_REVERSED, path);
        }
        std::int64_t count = 0;
        if (auto failed = count_lines(path, file, &count)) {
            return *failed;
        }
        if (count < *end) {
            return failure(ErrorBlock::END_BEYOND_FILE, path);
        }
        last = *end;
    } else if (auto failed = count_lines(path, file, &last)) {
        return *failed;
    }
    // count_line_feeds reads through one static block: it runs only while
    // the GIL is held. The reading below uses a buffer of its own.

    // A signal takes at least two bytes per value, so the file's size bounds
    // the rows that can be read whatever the window says.
    std::vector<float> values;
    std::vector<std::int64_t> lines;
    std::int64_t failed_line = 0;
    bool at_eof = false;
    LineTally tally;
    line_tally_start(&tally, 1);
    {
        py::gil_scoped_release unlocked;
        std::fseek(file, 0, SEEK_END);
        const long size = std::ftell(file);
        std::rewind(file);
        const std::int64_t bound = size / (2 * INPUT_LENGTH - 1) + 1;
        const std::int64_t rows = last >= first ? last - first + 1 : 0;
        values.reserve(static_cast<std::size_t>(rows < bound ? rows : bound) * INPUT_LENGTH);
        constexpr std::size_t BUFFER_SIZE = std::size_t{1} << 18;
        const std::unique_ptr<char[]> buffer(new char[BUFFER_SIZE]);
        SignalStream stream;
        signal_stream_init_buffer(&stream, file, buffer.get(), BUFFER_SIZE);
        float signal[INPUT_LENGTH];
        for (std::int64_t j = 0; j < last; ++j) {
            // As the command: a signal a read error may have cut short fails.
            if (!read_signal_line_tallied(&stream, signal, &tally) || signal_stream_cut_short(&stream)) {
                failed_line = j + 1;
                at_eof = signal_stream_at_eof(&stream);
                break;
            }
            if (j >= first - 1) {
                values.insert(values.end(), signal, signal + INPUT_LENGTH);
                lines.push_back(j + 1);
            }
        }
        if (failed_line == 0) {
            line_tally_finish(&stream, &tally);
        }
    }
    py::object warning = py::none();
    if (tally.off_line != 0) {
        char text[96];
        misalignment_text(text, sizeof text, tally.off_line, tally.off_values);
        warning = py::str(text);
    }
    if (failed_line != 0) {
        py::tuple failed = failure(at_eof ? ErrorBlock::SIGNALS_RUN_OUT : ErrorBlock::SIGNAL_UNREADABLE, path,
                                   py::int_(failed_line));
        return py::make_tuple(failed[0], failed[1], failed[2], failed[3], warning);
    }
    const auto n = static_cast<py::ssize_t>(lines.size());
    py::array_t<float> x({n, static_cast<py::ssize_t>(INPUT_LENGTH)});
    py::array_t<std::int64_t> line_numbers(n);
    if (n > 0) {
        std::memcpy(x.mutable_data(), values.data(), values.size() * sizeof(float));
        std::memcpy(line_numbers.mutable_data(), lines.data(), lines.size() * sizeof(std::int64_t));
    }
    return py::make_tuple(x, line_numbers, py::none(), py::none(), warning);
}

} // namespace

PYBIND11_MODULE(_classifier, m)
{
    m.doc() = "The Ombrel AI classification engine and signal-file reader (use ombrel.Classifier "
              "and ombrel.read_signals).";
    m.attr("INPUT_LENGTH") = static_cast<int>(INPUT_LENGTH);
    m.attr("CLASS_COUNT") = static_cast<int>(CLASS_COUNT);
    m.attr("HIDDEN_CAPACITY") = static_cast<int>(HIDDEN_CAPACITY);
    m.attr("LIBRARY_ID") = LIBRARY_ID;
    py::list names;
    for (const char* name : CLASS_NAME_TABLE) {
        names.append(name);
    }
    m.attr("CLASS_NAMES") = names;

    knowledge_refused =
        py::register_exception<KnowledgeRefusedError>(m, "KnowledgeRefused", PyExc_ValueError).ptr();
    py::class_<Engine>(m, "Engine")
        .def(py::init<const FloatArray&>(), py::arg("knowledge"))
        .def_readonly("status", &Engine::status)
        .def_property_readonly("unit_count", [](const Engine& e) { return e.context.unit_count; })
        .def("classify", &Engine::classify, py::arg("rows"))
        .def("trace", &Engine::trace, py::arg("signal"));
    m.def("read_signals", &read_signals, py::arg("path"), py::arg("begin"), py::arg("end"));
}
