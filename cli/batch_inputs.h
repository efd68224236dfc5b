// A batch's files: the inputs given (folders expanded with --recursive),
// each with its path below the argument that named it and its output's
// name in the output folder; two inputs that would write one output are
// refused before anything runs.
#pragma once

#include <string>
#include <vector>

#include "batch_options.h"

struct BatchItem {
    std::string input;    // as velmor opens it
    std::string relative; // below the argument that named it: its name, or its path in the folder
    std::string output;   // in the output folder
    std::string skipped;  // why a folder's entry is no input ("" for an input)
};

// The output's path below the output folder: `relative` with its extension
// replaced by `format` when given, or by the kind velmor writes for a kind
// it only reads (a camera's .MXF as .mkv).
std::string outputRelative(const std::string& relative, const std::string& format);

// Whether a file found in a folder is one the batch takes: not hidden (the
// temporary files of a batch writing there), an extension velmor reads.
bool takenFromFolder(const std::string& name);

// Every input of the batch, in the order given (a folder's files sorted),
// and the entries of its folders left out, with `skipped` set;
// false with `error` set on a folder without --recursive, an input that
// cannot be read as a file or folder, or a clash of outputs.
bool expandInputs(const BatchOptions& b, std::vector<BatchItem>& items, std::string& error);
