// One lock serialises every diagnostic line, so the console and the log show whole lines in the same order.
#include "platform/Diagnostics.hpp"

#include <algorithm>
#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

struct Sink {
    std::mutex mutex; // guards log and the writes to standard output and standard error
    std::ofstream log;
};

Sink& sink() {
    static Sink instance;
    return instance;
}

void write(std::FILE* console, std::string_view text) {
    Sink& s = sink();
    const std::lock_guard lock(s.mutex);
    std::fwrite(text.data(), 1, text.size(), console);
    std::fflush(console);
    if (s.log.is_open()) {
        s.log.write(text.data(), static_cast<std::streamsize>(text.size()));
        s.log.flush();
    }
}

std::string formatted(const char* format, std::va_list arguments) {
    std::va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.pop_back(); // the terminating zero
    }
    va_end(again);
    return text;
}

// Collects what a library writes and hands it on a line at a time.
class LineBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const std::lock_guard lock(m_mutex);
        take(traits_type::to_char_type(c));
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        const std::lock_guard lock(m_mutex);
        for (std::streamsize i = 0; i < count; ++i)
            take(text[i]);
        return count;
    }

private:
    void take(char c) {
        if (c != '\n') {
            m_line.push_back(c);
            return;
        }
        m_line.push_back('\n');
        write(stderr, m_line);
        m_line.clear();
    }

    std::mutex m_mutex; // guards m_line
    std::string m_line;
};

// Local time to the second, in an order that sorts as it happened.
std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (const std::tm* converted = std::localtime(&now); converted != nullptr)
        local = *converted;
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d-%H%M%S", &local);
    return std::string(text, length);
}

bool isLogName(const std::string& name) {
    return name.size() > RunLog::namePrefix.size() + RunLog::nameSuffix.size() &&
           name.starts_with(RunLog::namePrefix) && name.ends_with(RunLog::nameSuffix);
}

// The logs in `folder`, oldest first.
std::vector<std::string> logNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (const std::string name = it->path().filename().string(); isLogName(name) && it->is_regular_file(error))
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

// Names sort in the order the runs started: one that would not come after the newest log (a second run within the
// same second, or a clock set back) takes the newest name with a letter added.
std::string freshName(const std::vector<std::string>& existing) {
    std::string name = std::string(RunLog::namePrefix) + timeStamp() + std::string(RunLog::nameSuffix);
    if (!existing.empty() && name <= existing.back()) {
        const std::string& newest = existing.back();
        name = newest.substr(0, newest.size() - RunLog::nameSuffix.size()) + 'a' + std::string(RunLog::nameSuffix);
    }
    return name;
}

} // namespace

void Print(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string text = formatted(format, arguments);
    va_end(arguments);
    write(stdout, text);
}

void PrintError(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string text = formatted(format, arguments);
    va_end(arguments);
    write(stderr, text);
}

std::ostream& ErrorLineStream() {
    static LineBuffer buffer;
    static std::ostream stream(&buffer);
    return stream;
}

RunLog::RunLog(const fs::path& folder) {
    if (folder.empty())
        return;
    std::error_code error;
    fs::create_directories(folder, error);
    std::vector<std::string> names = logNames(folder);
    names.push_back(freshName(names));
    const fs::path path = folder / names.back();
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (!file) {
        PrintError("varnhold-launcher: cannot write a log in %s\n", folder.string().c_str());
        return;
    }
    {
        Sink& s = sink();
        const std::lock_guard lock(s.mutex);
        assert(!s.log.is_open() && "one run log at a time");
        s.log = std::move(file);
    }
    m_path = path;
    // A log another launcher still holds open may stay behind; no harm.
    for (std::size_t i = 0; i + keptRuns < names.size(); ++i)
        fs::remove(folder / names[i], error);
}

RunLog::~RunLog() {
    if (m_path.empty())
        return;
    Sink& s = sink();
    const std::lock_guard lock(s.mutex);
    s.log.close();
}

} // namespace platform
