// Process, host and clock services of the Linux platform.
#include <langinfo.h>
#include <locale.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "log/RuntimeError.h"
#include "platform/linux/LinuxPlatform.h"

namespace {

constexpr int kIoPriorityWhoProcess = 1;
constexpr int kIoPriorityClassShift = 13;
constexpr int kIoPriorityClassBestEffort = 2;

int ioPriority() {
    const long value = ::syscall(SYS_ioprio_get, kIoPriorityWhoProcess, 0);
    return value < 0 ? 0 : static_cast<int>(value);
}

void setIoPriority(int value) {
    ::syscall(SYS_ioprio_set, kIoPriorityWhoProcess, 0, value);
}

}  // namespace

LinuxPlatform::LinuxPlatform() : LinuxPlatform(Options{}) {}

LinuxPlatform::LinuxPlatform(Options options) : options_(std::move(options)) {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    startNice_ = errno == 0 ? nice : 0;
    startIoPriority_ = ioPriority();
}

LinuxPlatform::LinuxPlatform(int argc, const char* const* argv)
    : LinuxPlatform([&] {
          Options o;
          for (int i = 1; i < argc; ++i)
              o.arguments.emplace_back(argv[i]);
          return o;
      }()) {}

// There is no registry: the version text of the other host family cannot be read.
std::string LinuxPlatform::registryVersionNumber() {
    Raise(Err::FileNotFound);
}

std::string LinuxPlatform::commandLine() {
    std::string line;
    for (const auto& argument : options_.arguments) {
        if (!line.empty()) line += ' ';
        line += argument;
    }
    return line;
}

std::string LinuxPlatform::programDirectory() {
    if (options_.programDirectory) return *options_.programDirectory;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    const std::string exe(buffer, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : exe.substr(0, slash);
}

// High: nice -10 and the best best-effort I/O class where the process may raise them; Normal:
// the values the program started with (nice 0 unless it was started under nice). Failures are
// ignored: without the right the program runs at its normal priority.
void LinuxPlatform::setPriority(Priority priority) {
    if (priority == Priority::High) {
        ::setpriority(PRIO_PROCESS, 0, std::min(startNice_, -10));
        setIoPriority(kIoPriorityClassBestEffort << kIoPriorityClassShift);
    } else {
        ::setpriority(PRIO_PROCESS, 0, startNice_);
        setIoPriority(startIoPriority_);
    }
}

std::string LinuxPlatform::hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

std::optional<std::string> LinuxPlatform::environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

double LinuxPlatform::monotonicSeconds() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string LinuxPlatform::utcTimestamp() {
    const time_t now = ::time(nullptr);
    struct tm utc {};
    ::gmtime_r(&now, &utc);
    char buffer[32];
    const std::size_t n = ::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(buffer, n);
}

double LinuxPlatform::secondsSinceMidnight() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    ::tzset();
    struct tm local {};
    ::localtime_r(&now.tv_sec, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
           static_cast<double>(now.tv_nsec) / 1e9;
}

// Short date, blank, time with seconds, in the user's LC_TIME (LC_ALL, LC_TIME, LANG).
std::string LinuxPlatform::dateTimeText() {
    locale_t locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        locale = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }
    std::string date = ::nl_langinfo_l(D_FMT, locale);
    std::string time = ::nl_langinfo_l(T_FMT, locale);
    if (date.empty()) date = "%m/%d/%y";
    if (time.empty()) time = "%H:%M:%S";
    const std::string format = date + " " + time;
    ::tzset();
    const time_t now = ::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    char buffer[256];
    const std::size_t n = ::strftime_l(buffer, sizeof buffer, format.c_str(), &local, locale);
    ::freelocale(locale);
    return std::string(buffer, n);
}

void LinuxPlatform::sleepFor(double seconds) {
    if (!(seconds > 0)) return;
    struct timespec left {};
    left.tv_sec = static_cast<time_t>(seconds);
    left.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
