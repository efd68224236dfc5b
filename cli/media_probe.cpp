// The probe as ffprobe's run: its flat report read by parseProbe, with the
// first frame's (a picture's turn may be there alone).
#include "media_probe.h"

#include <vector>

#include "file_kinds.h"
#include "process.h"

int probeMedia(const std::string& inputName, bool sequence, MediaInfo& m, std::string& lastError) {
    std::vector<std::string> args = {"ffprobe", "-v", "error", "-show_streams", "-show_format",
                                     "-show_frames", "-read_intervals", "%+#1", "-of", "flat"};
    const std::vector<std::string> format = inputFormatArgs(inputName, sequence);
    args.insert(args.end(), format.begin(), format.end());
    args.push_back(inputName);
    std::string probed;
    const int status = runCapture(args, probed, lastError);
    if (status != 0) return status;
    m = parseProbe(probed);
    m.pictureSequence = sequence;
    return 0;
}
