// The in-process probe against ffprobe itself: for each input of a table
// that ffmpeg makes (the kinds the conversion decides on), what probeMedia
// reads must be, field by field, what parseProbe reads from ffprobe's flat
// report of the same input; and where ffprobe fails, probeMedia fails with
// the message ffprobe ends with.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "file_kinds.h"
#include "media_probe.h"
#include "process.h"
#include "signals.h"
#include "shell_fixture.h"

namespace {

class Probe : public InFolder {
  protected:
    void ffmpeg(const std::string& args) const {
        const Result r = run("ffmpeg -hide_banner -nostdin -v error -y " + args);
        ASSERT_EQ(r.status, 0) << args << ": " << r.err;
    }
};

// Every field of MediaInfo and of each of its streams.
void expectSameMedia(const MediaInfo& ours, const MediaInfo& theirs) {
    EXPECT_EQ(ours.formatName, theirs.formatName);
    EXPECT_EQ(ours.duration, theirs.duration);
    EXPECT_EQ(ours.videoIndex, theirs.videoIndex);
    EXPECT_EQ(ours.codec, theirs.codec);
    EXPECT_EQ(ours.profile, theirs.profile);
    EXPECT_EQ(ours.pixFmt, theirs.pixFmt);
    EXPECT_EQ(ours.fieldOrder, theirs.fieldOrder);
    EXPECT_EQ(ours.colorRange, theirs.colorRange);
    EXPECT_EQ(ours.colorSpace, theirs.colorSpace);
    EXPECT_EQ(ours.colorPrimaries, theirs.colorPrimaries);
    EXPECT_EQ(ours.colorTransfer, theirs.colorTransfer);
    EXPECT_EQ(ours.frameRate, theirs.frameRate);
    EXPECT_EQ(ours.width, theirs.width);
    EXPECT_EQ(ours.height, theirs.height);
    EXPECT_EQ(ours.rotation, theirs.rotation);
    EXPECT_EQ(ours.frames, theirs.frames);
    EXPECT_EQ(ours.pictureSequence, theirs.pictureSequence);
    EXPECT_EQ(ours.videoStartOffset, theirs.videoStartOffset);
    EXPECT_EQ(ours.decoder, theirs.decoder);
    ASSERT_EQ(ours.streams.size(), theirs.streams.size());
    for (std::size_t i = 0; i < ours.streams.size(); ++i) {
        SCOPED_TRACE("stream " + std::to_string(i));
        EXPECT_EQ(ours.streams[i].index, theirs.streams[i].index);
        EXPECT_EQ(ours.streams[i].type, theirs.streams[i].type);
        EXPECT_EQ(ours.streams[i].codec, theirs.streams[i].codec);
        EXPECT_EQ(ours.streams[i].title, theirs.streams[i].title);
        EXPECT_EQ(ours.streams[i].fileName, theirs.streams[i].fileName);
        EXPECT_EQ(ours.streams[i].attachedPicture, theirs.streams[i].attachedPicture);
    }
}

TEST_F(Probe, InProcessReadsWhatFfprobeReports) {
    const std::string clip = "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 ";
    std::ofstream(path("s.srt")) << "1\n00:00:00,000 --> 00:00:00,300\nHello\n";
    std::ofstream(path("notes.txt")) << "not a video\n";
    ffmpeg("-f lavfi -i testsrc2=s=32x32 -frames:v 1 cover.jpg");
    ffmpeg(clip + "-frames:v 1 -update 1 -pix_fmt rgb24 '100%d.png'");
    const struct {
        const char* name;
        std::vector<std::string> make; // ffmpeg arguments, a command each
        const char* input;
        bool sequence;
        int videoIndex; // what the conversion would take, as a check on the row itself
    } cases[] = {
        {"H.264 in MP4 turned by its display matrix",
         {clip + "-c:v libx264 r.mp4", "-i r.mp4 -c copy -metadata:s:v rotate=90 in.mp4"},
         "in.mp4", false, 0},
        {"H.264 in MP4 turned the other way",
         {clip + "-c:v libx264 r.mp4", "-i r.mp4 -c copy -metadata:s:v rotate=270 in.mp4"},
         "in.mp4", false, 0},
        {"full-range JPEG", {clip + "-frames:v 1 -pix_fmt yuvj420p in.jpg"}, "in.jpg", false, 0},
        {"JPEG turned by its EXIF orientation, on its frame alone",
         {clip + "-frames:v 1 -pix_fmt yuvj420p t.jpg"}, "exif.jpg", false, 0},
        {"PNG with alpha", {clip + "-frames:v 1 -pix_fmt rgba in.png"}, "in.png", false, 0},
        {"16-bit grey PNG", {clip + "-frames:v 1 -pix_fmt gray16be in.png"}, "in.png", false, 0},
        {"numbered PNG sequence", {clip + "-frames:v 3 f%03d.png"}, "f%03d.png", true, 0},
        {"a picture whose name has a frame number field", {}, "100%d.png", false, 0},
        {"Matroska with a title, an attachment and a cover",
         {clip + "-i s.srt -c:v libx264 -c:s srt -metadata:s:v:0 'title=Cam \"A\" $1 `x`' "
                 "-attach s.srt -metadata:s:t:0 mimetype=text/plain -attach cover.jpg "
                 "-metadata:s:t:1 mimetype=image/jpeg in.mkv"},
         "in.mkv", false, 0},
        {"a title and a tag's name that are not UTF-8",
         {clip + "-c:v libx264 -metadata:s:v:0 'title=Caf\xe9 \xc3\xa9t\xe9' "
                 "-metadata:s:v:0 'caf\xe9=x' in.mkv"},
         "in.mkv", false, 0},
        {"VP9 with alpha in WebM",
         {clip + "-c:v libvpx-vp9 -pix_fmt yuva420p -b:v 200k in.webm"}, "in.webm", false, 0},
        {"interlaced", {clip + "-vf setfield=tff -c:v libx264 -flags +ildct+ilme in.mkv"},
         "in.mkv", false, 0},
        {"10-bit 4:2:2 with colour tags",
         {clip + "-vf format=yuv422p10le -c:v libx264 -color_primaries bt709 -color_trc bt709 "
                 "-colorspace bt709 -color_range tv in.mp4"},
         "in.mp4", false, 0},
        {"sound starting before the picture, MPEG-TS",
         {"-f lavfi -i sine=duration=1 -itsoffset 0.5 " + clip +
          "-map 1:v -map 0:a -c:v libx264 -c:a aac in.ts"},
         "in.ts", false, 0},
        {"raw H.264, no times", {clip + "-c:v libx264 -f h264 in.h264"}, "in.h264", false, 0},
        {"not media", {}, "notes.txt", false, -1},
        {"no numbered pictures", {}, "g%03d.png", true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& m : c.make) ffmpeg(m);
        if (std::string(c.input) == "exif.jpg") run(exifTurnedJpeg("t.jpg", "exif.jpg"));
        const std::string name = "file:" + path(c.input);
        std::vector<std::string> args = {"ffprobe", "-v", "error", "-show_streams",
                                         "-show_format", "-show_frames", "-read_intervals",
                                         "%+#1", "-of", "flat"};
        for (const auto& a : inputFormatArgs(name, c.sequence)) args.push_back(a);
        args.push_back(name);
        std::string flat, theirError, ourError;
        const int theirStatus = runCapture(args, flat, theirError);
        MediaInfo ours;
        const int ourStatus = probeMedia(name, c.sequence, ours, ourError);
        EXPECT_EQ(ourStatus, theirStatus);
        if (theirStatus != 0) {
            EXPECT_EQ(ourError, theirError);
            EXPECT_EQ(c.videoIndex, -1) << theirError;
            continue;
        }
        MediaInfo theirs = parseProbe(flat);
        theirs.pictureSequence = c.sequence;
        EXPECT_EQ(theirs.videoIndex, c.videoIndex) << flat;
        expectSameMedia(ours, theirs);
    }
}

// A terminating signal stops the probe: it reads nothing more and fails.
TEST_F(Probe, ASignalStopsTheProbe) {
    ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.2 -c:v libx264 in.mp4");
    MediaInfo m;
    std::string error;
    ASSERT_EQ(probeMedia("file:" + path("in.mp4"), false, m, error), 0) << error;
    caughtSignal = SIGINT;
    const int status = probeMedia("file:" + path("in.mp4"), false, m, error);
    caughtSignal = 0;
    EXPECT_NE(status, 0);
}

// A conversion runs ffmpeg alone: with no ffprobe to be found, a picture
// and a clip are still read and corrected.
TEST_F(Probe, AConversionNeedsNoFfprobe) {
    SKIP_IF_SANITIZED();
    ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.2 -vf eq=contrast=0.5 "
           "-frames:v 1 in.jpg");
    ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.2 -c:v libx264 in.mp4");
    ASSERT_EQ(run("mkdir bin && ln -s \"$(command -v ffmpeg)\" bin/ffmpeg").status, 0);
    for (const std::string output : {"out.jpg", "out.mkv"}) {
        const std::string input = output == "out.jpg" ? "in.jpg" : "in.mp4";
        const Result r = run("PATH=" + path("bin") + " " + VELMOR_BINARY + " " + input + " -o " +
                             output);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(run("ffmpeg -nostdin -v error -i " + output + " -f null -").err, "");
    }
}

} // namespace
