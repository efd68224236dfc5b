// --report FILE: one row per input of the batch (input, output, status,
// message, seconds, peak memory), as CSV when FILE ends in .csv and as
// JSON lines otherwise. The file is written beside its name and renamed
// into place when the batch ends, so it is never half-written.
#pragma once

#include <string>
#include <vector>

struct ReportRow {
    std::string input, output, status, message;
    double seconds = 0;
    long peakKib = 0; // the most memory the file's velmor or its ffmpeg held
};

bool reportIsCsv(const std::string& file);

// The header line (CSV only; "" for JSON lines).
std::string reportHeader(bool csv);
// One row, with its newline.
std::string reportLine(const ReportRow& row, bool csv);

// Writes the rows to `file`; "" or what went wrong.
std::string writeReport(const std::string& file, const std::vector<ReportRow>& rows);
