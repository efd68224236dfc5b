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

// The report's temporary name: beside it, so that the rename stays on one
// file system, and hidden, as the outputs' are.
std::string reportTemporaryFor(const std::string& file);

// Writes the rows to `file` through its temporary name; "" or what went
// wrong, and then neither the file nor a part of it is left.
std::string writeReport(const std::string& file, const std::vector<ReportRow>& rows);
