// Diagnostics the same on every system: the installer's tagged line, and the
// log file an operator asks for (--log=FILE) with every diagnostic line and
// the time it was written, beside wherever diagnostics go anyway.
#include <chrono>
#include <cstdio>
#include <mutex>

#include "platform/platform.h"
#include "platform/system_debug.h"

namespace platform {
namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

// Kept open until the process ends: threads may still log while it ends.
FileHandle& logFile() {
    static FileHandle file;
    return file;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian), without the
// C library's time zone state.
void civilFromDays(long long days, long long& year, unsigned& month, unsigned& day) {
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

std::string logTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    long long millis = duration_cast<milliseconds>(when.time_since_epoch()).count();
    long long days = (millis >= 0 ? millis : millis - 86399999) / 86400000;
    long long inDay = millis - days * 86400000;
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(days, year, month, day);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", year, month,
                  day, inDay / 3600000, inDay / 60000 % 60, inDay / 1000 % 60, inDay % 1000);
    return text;
}

// The log quotes backend replies and runs with the installer's rights, so it
// is opened like the archive: a regular file only, never through a link,
// never waiting on a FIFO, and a new one readable by its owner alone.
bool setLogFile(const std::string& path) {
    FileHandle file = openFileForAppend(path);
    if (!file.isOpen()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(logMutex());
    closeFile(logFile());
    logFile() = file;
    return true;
}

void writeLogLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex());
    if (logFile().isOpen()) {
        std::string text = logTimestamp(std::chrono::system_clock::now()) + ' ' + line + '\n';
        appendToFile(logFile(), text.data(), text.size());
    }
}

// The system's channel gets the line, standard error gets it with a line
// break (tests and unattended runs see it there), the log file with its time.
void debugOutput(const std::string& text) {
    static std::mutex outputMutex;
    std::lock_guard<std::mutex> lock(outputMutex);
    std::string single = singleLine(text);
    systemDebugOutput(single);
    std::string line = single + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    writeLogLine(single);
}

void debugLog(const std::string& message) {
    debugOutput("QvmAudioDownCall: " + message);
}

namespace {

void writeWhole(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

void printText(const std::string& text) {
    writeWhole(stdout, text);
}

void printLine(const std::string& line) {
    writeWhole(stdout, line + "\n");
}

void printErrorLine(const std::string& line) {
    writeWhole(stderr, line + "\n");
}

}  // namespace platform
