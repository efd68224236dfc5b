// The report's two forms. CSV quotes every text field (RFC 4180: quotes
// doubled); JSON escapes quotes, backslashes and control characters, and
// passes other bytes as they are (file names are bytes, usually UTF-8).
#include "batch_report.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string csvField(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

int errnoOr(int otherwise) {
    return errno != 0 ? errno : otherwise;
}

std::string secondsText(double s) {
    char t[32];
    std::snprintf(t, sizeof t, "%.3f", s);
    return t;
}

} // namespace

std::string reportTemporaryFor(const std::string& file) {
    const std::size_t slash = file.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    return dir + ".velmor-" + std::to_string(getpid()) + "-report";
}

bool reportIsCsv(const std::string& file) {
    return file.size() >= 4 && file.compare(file.size() - 4, 4, ".csv") == 0;
}

std::string reportHeader(bool csv) {
    return csv ? "input,output,status,message,seconds,peak_kib\n" : "";
}

std::string reportLine(const ReportRow& r, bool csv) {
    if (csv)
        return csvField(r.input) + "," + csvField(r.output) + "," + csvField(r.status) + "," +
               csvField(r.message) + "," + secondsText(r.seconds) + "," +
               std::to_string(r.peakKib) + "\n";
    return "{\"input\":" + jsonString(r.input) + ",\"output\":" + jsonString(r.output) +
           ",\"status\":" + jsonString(r.status) + ",\"message\":" + jsonString(r.message) +
           ",\"seconds\":" + secondsText(r.seconds) + ",\"peak_kib\":" + std::to_string(r.peakKib) +
           "}\n";
}

std::string writeReport(const std::string& file, const std::vector<ReportRow>& rows) {
    const bool csv = reportIsCsv(file);
    std::string text = reportHeader(csv);
    for (const ReportRow& r : rows) text += reportLine(r, csv);
    const std::string temporary = reportTemporaryFor(file);
    FILE* f = std::fopen(temporary.c_str(), "w");
    if (!f) return "cannot write the report " + file + ": " + std::strerror(errno);
    // A short write, a close that cannot flush (a full disk shows there)
    // or a failed rename each leave the report unwritten, and no part of it.
    errno = 0;
    int e = std::fwrite(text.data(), 1, text.size(), f) == text.size() ? 0 : errnoOr(EIO);
    if (std::fclose(f) != 0 && e == 0) e = errnoOr(EIO);
    if (e == 0 && std::rename(temporary.c_str(), file.c_str()) != 0) e = errnoOr(EIO);
    if (e == 0) return "";
    std::remove(temporary.c_str());
    return "cannot write the report " + file + ": " + std::strerror(e);
}
