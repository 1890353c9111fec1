// ombrel._classifier: the re-entrant engine and the command's signal-file
// component for Python. Classifications only read the engine's context, so
// calls from any number of threads share only the read-only knowledge; the
// GIL is released while they classify, and a signal (Ctrl-C) stops a long
// call between two blocks of rows.
#include "classifier.h"
#include "classifier_context.h"
#include "error_blocks.h"
#include "misalignment_warning.h"
#include "parallel_rows.h"
#include "reader_warnings.h"
#include "signal_file/pass_settings.h"
#include "signal_file/signal_file.h"
#include "signal_file_error.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <future>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

namespace py = pybind11;

namespace {

using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

// The threads a call uses: `threads` when given (1 to
// SIGNAL_FILE_MAX_THREADS), else OMBREL_THREADS or the core count as the
// command takes them; an invalid setting is refused with the command's words.
int resolved_threads(std::optional<int> threads)
{
    if (threads) {
        if (*threads < 1 || *threads > SIGNAL_FILE_MAX_THREADS) {
            throw py::value_error("threads must be a whole number from 1 to " +
                                  std::to_string(SIGNAL_FILE_MAX_THREADS) + ", not " + std::to_string(*threads));
        }
        return *threads;
    }
    const ThreadSetting setting = signal_pass_threads();
    if (setting.invalid != nullptr) {
        char text[160];
        thread_setting_message(text, sizeof text, setting.invalid);
        throw py::value_error(std::string(text, std::strlen(text) - 1));
    }
    return setting.threads;
}

// Asked by a thread that runs without the GIL: takes it at most every 20 ms
// to run Python's signal handlers; true once one raised (KeyboardInterrupt
// for Ctrl-C), the exception then set for the caller to raise.
struct SignalCheck {
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    bool raised = false;

    bool due() noexcept
    {
        const auto now = std::chrono::steady_clock::now();
        if (raised || now - last < std::chrono::milliseconds(20)) {
            return raised;
        }
        last = now;
        py::gil_scoped_acquire locked;
        raised = PyErr_CheckSignals() != 0;
        return raised;
    }

    static bool interrupted(void* check) noexcept
    {
        return static_cast<SignalCheck*>(check)->due();
    }
};

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

    // rows: (n, INPUT_LENGTH) C-ordered, float32 or float64 (each value then
    // rounded to float32 as C's conversion does, a block at a time). Returns
    // (probabilities (n, 4) float32, class ids (n,) uint8), on `threads`
    // threads (see resolved_threads).
    template <typename Value>
    py::tuple classify(const py::array_t<Value, py::array::c_style | py::array::forcecast>& rows,
                       std::optional<int> threads) const
    {
        if (rows.ndim() != 2 || rows.shape(1) != INPUT_LENGTH) {
            throw py::value_error("rows must have shape (n, 64)");
        }
        const auto n = rows.shape(0);
        const int thread_count = resolved_threads(threads);
        py::array_t<float> probabilities({n, static_cast<py::ssize_t>(CLASS_COUNT)});
        py::array_t<std::uint8_t> class_ids(n);
        RowArrays arrays{nullptr, nullptr, probabilities.mutable_data(), class_ids.mutable_data(),
                         static_cast<std::size_t>(n)};
        if constexpr (std::is_same_v<Value, double>) {
            arrays.wide_rows = rows.data();
        } else {
            arrays.rows = rows.data();
        }
        SignalCheck check;
        bool complete = false;
        {
            py::gil_scoped_release unlocked;
            complete = classify_rows_parallel(context, arrays, thread_count, {SignalCheck::interrupted, &check});
        }
        if (!complete) {
            throw py::error_already_set();
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

// The floats the command loads from a knowledge file's bytes, by the
// library's own passes over them (knowledge_size, then knowledge_load): as
// many as the stored unit count announces, those the bytes lack (a partial
// last float too) left at zero. None when the bytes end before the unit count
// or it is unusable: the command refuses such a file before sizing a buffer.
// The count knowledge_size also records in the library's process-wide record
// is never read here: every engine classifies through its own context.
std::optional<py::array_t<float>> loaded_knowledge(const py::bytes& data)
{
    const std::string bytes = data;
    if (bytes.empty()) {
        return std::nullopt;
    }
    std::FILE* file = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    if (file == nullptr) {
        throw std::bad_alloc();
    }
    const std::int32_t count = knowledge_size(file);
    std::optional<py::array_t<float>> floats;
    if (count > 0 && std::fseek(file, 0, SEEK_SET) == 0) {
        floats.emplace(count);
        std::memset(floats->mutable_data(), 0, static_cast<std::size_t>(count) * sizeof(float));
        knowledge_load(file, floats->mutable_data(), count);
    }
    std::fclose(file);
    return floats;
}

// The command's error block, the signal file's path as its detail.
std::string failure_message(SignalFileStatus status, const std::string& path)
{
    std::string message;
    for (const char* const* text = error_block_lines(signal_file_error_block(status)); *text != nullptr; ++text) {
        // No signal-file block carries a number.
        message += error_line_detail(*text) == 1 ? path.c_str() : *text;
    }
    return message;
}

// The window's signals as the sink receives them.
struct Collected {
    std::vector<float> values;
    std::vector<std::int64_t> lines;
    ReaderFindings findings{};
    bool out_of_memory = false;
    std::atomic<bool> stop{false}; // the read's stop flag (SignalFile::stop)
};

bool collect(void* context, const SignalRecord& record) noexcept
{
    auto* collected = static_cast<Collected*>(context);
    reader_findings_take(&collected->findings, record);
    try {
        collected->values.insert(collected->values.end(), record.values, record.values + INPUT_LENGTH);
        collected->lines.push_back(record.line);
    } catch (const std::bad_alloc&) {
        collected->out_of_memory = true;
        return false;
    }
    return true;
}

// Room for the window's rows: a signal takes at least two bytes per value,
// so the file's size bounds the rows whatever the window says.
void reserve_rows(const SignalFile& file, Collected* collected) noexcept
{
    const std::int64_t bound = static_cast<std::int64_t>(file.size / (2 * INPUT_LENGTH - 1)) + 1;
    // The end is -1 until a whole file's lines are counted.
    const std::int64_t end = file.end < 0 ? bound : file.end;
    const std::int64_t rows = end >= file.begin ? end - file.begin + 1 : 0;
    try {
        collected->values.reserve(static_cast<std::size_t>(rows < bound ? rows : bound) * INPUT_LENGTH);
        collected->lines.reserve(static_cast<std::size_t>(rows < bound ? rows : bound));
    } catch (const std::bad_alloc&) {
        // The rows are then collected as they come.
    }
}

bool end_given(const SignalWindowStep* steps, int step_count) noexcept
{
    for (int k = 0; k < step_count; ++k) {
        if (steps[k].is_end) {
            return true;
        }
    }
    return false;
}

// The run's warnings as (kind, first line, count, words) in the command's
// order: value count, column numbers, NaN or infinity, last line.
py::list reader_warnings(const SignalFileOutcome& outcome, const ReaderFindings& f)
{
    py::list found;
    char text[MISALIGNMENT_TEXT > READER_WARNING_TEXT ? MISALIGNMENT_TEXT : READER_WARNING_TEXT];
    if (outcome.misaligned_line != 0) {
        misalignment_text(text, sizeof text, outcome.misaligned_line, outcome.misaligned_values,
                          outcome.misaligned_count);
        found.append(py::make_tuple("value-count", outcome.misaligned_line, outcome.misaligned_count, text));
    }
    if (f.column_numbers) {
        column_numbers_text(text, sizeof text);
        found.append(py::make_tuple("header-line", 1, 1, text));
    }
    if (f.non_finite_count != 0) {
        non_finite_text(text, sizeof text, f.non_finite_line, f.non_finite_count);
        found.append(py::make_tuple("non-finite-signal", f.non_finite_line, f.non_finite_count, text));
    }
    if (f.unterminated_line != 0) {
        unterminated_text(text, sizeof text, f.unterminated_line);
        found.append(py::make_tuple("no-final-line-feed", f.unterminated_line, 1, text));
    }
    return found;
}

// Opens, settles and reads the file through the signal-file component, on
// the threads the command would use. Runs without the GIL.
SignalFileOutcome read_through_component(const char* path, const SignalWindowStep* steps, int step_count,
                                         int threads, Collected* collected) noexcept
{
    SignalFile file;
    SignalFileOutcome outcome = signal_file_open(&file, path);
    file.stop = &collected->stop;
    if (outcome.status == SignalFileStatus::COMPLETE) {
        outcome = signal_file_settle(&file, steps, step_count);
    }
    if (outcome.status == SignalFileStatus::COMPLETE) {
        reserve_rows(file, collected);
        const SignalReadSettings settings{nullptr, 0, threads, signal_pass_block_bytes()};
        outcome = signal_file_read(&file, settings, {collect, collected});
        // As the command's six-word form: a window names its lines.
        if (outcome.status == SignalFileStatus::COMPLETE && !end_given(steps, step_count) &&
            file.unterminated_tail) {
            collected->findings.unterminated_line = (file.line_count > 0 ? file.line_count : 0) + 1;
        }
    }
    signal_file_close(&file);
    return outcome;
}

// read_through_component on a thread of its own while the calling thread
// looks for a signal every 20 ms; once a handler raised, the read is told to
// stop (within a block) and waited for. Without a thread to be had, the read
// runs on the calling thread, not to be interrupted. True when interrupted.
bool read_interruptibly(const char* path, const SignalWindowStep* steps, int step_count, int threads,
                        Collected* collected, SignalFileOutcome* outcome) noexcept
{
    SignalCheck check;
    try {
        auto reading = std::async(std::launch::async, read_through_component, path, steps, step_count, threads,
                                  collected);
        while (reading.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
            if (check.due()) {
                collected->stop.store(true, std::memory_order_relaxed);
            }
        }
        *outcome = reading.get();
    } catch (const std::system_error&) {
        *outcome = read_through_component(path, steps, step_count, threads, collected);
    }
    return check.raised;
}

// Reads the signals of lines begin to end (counted from 1) as the command's
// file mode does, on `thread_choice` threads (see resolved_threads); a
// bound not given takes the value the six-word form gives it: the first
// line, the file's line count. Returns (values (n, 64)
// float32, line numbers (n,) int64, None, None, warnings), or (None, None,
// the command's message (bytes), the failing line or None, warnings); warnings:
// the command's warnings on standard error without the program's name, as
// (kind, first line, count, words).
py::tuple read_signals(const py::bytes& path_bytes, std::optional<std::int64_t> begin,
                       std::optional<std::int64_t> end, std::optional<int> thread_choice)
{
    const std::string path = path_bytes;
    if (path.find('\0') != std::string::npos) {
        throw py::value_error("embedded null byte in the signal file's path");
    }
    const int threads = resolved_threads(thread_choice);
    // The command's window checks, begin first.
    SignalWindowStep steps[2];
    int step_count = 0;
    if (begin) {
        steps[step_count++] = {false, *begin};
    }
    if (end) {
        steps[step_count++] = {true, *end};
    }
    Collected collected;
    SignalFileOutcome outcome{};
    bool interrupted = false;
    {
        py::gil_scoped_release unlocked;
        interrupted = read_interruptibly(path.c_str(), steps, step_count, threads, &collected, &outcome);
    }
    if (interrupted) {
        throw py::error_already_set();
    }
    if (collected.out_of_memory) {
        throw std::bad_alloc();
    }
    const py::list warning = reader_warnings(outcome, collected.findings);
    if (outcome.status != SignalFileStatus::COMPLETE) {
        py::object line = outcome.failing_line != 0 ? py::object(py::int_(outcome.failing_line)) : py::none();
        return py::make_tuple(py::none(), py::none(), py::bytes(failure_message(outcome.status, path)), line, warning);
    }
    const auto n = static_cast<py::ssize_t>(collected.lines.size());
    py::array_t<float> x({n, static_cast<py::ssize_t>(INPUT_LENGTH)});
    py::array_t<std::int64_t> line_numbers(n);
    if (n > 0) {
        std::memcpy(x.mutable_data(), collected.values.data(), collected.values.size() * sizeof(float));
        std::memcpy(line_numbers.mutable_data(), collected.lines.data(), collected.lines.size() * sizeof(std::int64_t));
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
        // float64 rows first, so that they are not converted to a float32
        // copy by the other's forcecast.
        .def("classify", &Engine::classify<double>, py::arg("rows").noconvert(), py::arg("threads") = py::none())
        .def("classify", &Engine::classify<float>, py::arg("rows"), py::arg("threads") = py::none())
        .def("trace", &Engine::trace, py::arg("signal"));
    m.def("read_signals", &read_signals, py::arg("path"), py::arg("begin"), py::arg("end"),
          py::arg("threads") = py::none());
    m.def("loaded_knowledge", &loaded_knowledge, py::arg("data"));
}
