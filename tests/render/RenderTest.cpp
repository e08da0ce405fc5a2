// zt-render end to end: the real command, run as a subprocess on files written here, loading the
// real plug-in module; the results are measured from the files it wrote.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include "tools/sender/ReferenceSender.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string NativePath(std::string path) {
#if defined(_WIN32)
  // Under Wine the build tree's Unix path is reached through drive Z:.
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

struct RunResult {
  int code = -1;
  std::string out, err;
};

std::string ReadText(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A folder of its own for every test, removed afterwards.
class Scratch {
public:
  Scratch() {
    static int counter = 0;
    dir_ = fs::temp_directory_path() /
           ("zt-render-test-" + std::to_string(TestPid()) + "-" + std::to_string(counter++));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string operator()(const std::string& name) const { return (dir_ / name).string(); }
  const fs::path& Dir() const { return dir_; }

private:
  fs::path dir_;
};

RunResult RunRender(const Scratch& scratch, const std::vector<std::string>& args) {
  // Appended piece by piece: g++ 12 warns falsely about "literal" + string at -O3.
  auto quoted = [](std::string& to, const std::string& what) {
    to.append(" \"").append(what).append("\"");
  };
  std::string cmd;
  quoted(cmd, NativePath(ZT_RENDER_PATH));
  for (const std::string& a : args)
    quoted(cmd, a);
  const std::string outFile = scratch("stdout.txt"), errFile = scratch("stderr.txt");
  cmd.append(" >");
  quoted(cmd, outFile);
  cmd.append(" 2>");
  quoted(cmd, errFile);
#if defined(_WIN32)
  cmd = std::string("\"").append(cmd).append("\""); // cmd.exe drops the outer quotes
#endif
  RunResult r;
  const int rc = std::system(cmd.c_str());
#if defined(_WIN32)
  r.code = rc;
#else
  r.code = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
  r.out = ReadText(outFile);
  r.err = ReadText(errFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return r;
}

// Writes `frames` frames of `channels` channels; gen(frame, channel) gives each sample.
void WriteAudio(const std::string& path, int format, int rate, int channels, int frames,
                const std::function<double(int, int)>& gen) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
  std::vector<double> buf(static_cast<size_t>(frames) * channels);
  for (int k = 0; k < frames; ++k)
    for (int c = 0; c < channels; ++c)
      buf[static_cast<size_t>(k) * channels + c] = gen(k, c);
  ASSERT_EQ(sf_writef_double(f, buf.data(), frames), frames);
  sf_close(f);
}

struct Audio {
  SF_INFO info{};
  std::vector<double> samples; // interleaved
};

bool ReadAudio(const std::string& path, Audio* a) {
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a->info);
  if (!f) return false;
  a->samples.resize(static_cast<size_t>(a->info.frames) * a->info.channels);
  const sf_count_t got = sf_readf_double(f, a->samples.data(), a->info.frames);
  sf_close(f);
  return got == a->info.frames;
}

// Momentary loudness after every block, a mono file measured as one channel.
std::vector<double> MomentaryCurve(const Audio& a, int block) {
  ebur128_state* st = ebur128_init(static_cast<unsigned>(a.info.channels),
                                   static_cast<unsigned long>(a.info.samplerate), EBUR128_MODE_M);
  std::vector<double> curve;
  const int ch = a.info.channels;
  for (sf_count_t k = 0; k < a.info.frames; k += block) {
    const sf_count_t n = std::min<sf_count_t>(block, a.info.frames - k);
    ebur128_add_frames_double(st, a.samples.data() + k * ch, static_cast<size_t>(n));
    double m = -HUGE_VAL;
    ebur128_loudness_momentary(st, &m);
    curve.push_back(m);
  }
  ebur128_destroy(&st);
  return curve;
}

double Integrated(const Audio& a) {
  ebur128_state* st = ebur128_init(static_cast<unsigned>(a.info.channels),
                                   static_cast<unsigned long>(a.info.samplerate), EBUR128_MODE_I);
  ebur128_add_frames_double(st, a.samples.data(), static_cast<size_t>(a.info.frames));
  double v = -HUGE_VAL;
  ebur128_loudness_global(st, &v);
  ebur128_destroy(&st);
  return v;
}

// White noise has a loudness of about 20·log10(amplitude) - 4.8 - 0.69 + 3 (stereo) LUFS; the
// tests measure what they need instead of relying on that.
constexpr double kStepSeconds = 3.0;
const double kReferenceLevels[] = {-20.0, -14.0, -25.0}; // dB of the noise amplitude steps

struct Pair {
  std::string input, reference;
};

// Input: steady noise, quieter than the reference, after `silence` seconds of digital silence.
// Reference: noise in three steps of 3 s.
Pair WritePair(const Scratch& s, const std::string& tag, int format, int rate, int inChannels,
               int refChannels, double silence) {
  const int frames = static_cast<int>(3 * kStepSeconds * rate);
  Pair p{s(tag + "-in" + ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC ? ".flac" : ".wav")),
         s(tag + "-ref.wav")};
  Noise inNoise(7), refNoise(99);
  WriteAudio(p.input, format, rate, inChannels, frames, [&](int k, int) {
    return k < silence * rate ? 0.0 : DbToRatio(-32.0) * inNoise.Next();
  });
  WriteAudio(p.reference, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, refChannels, frames,
             [&](int k, int) {
               const int step = std::min(2, static_cast<int>(k / (kStepSeconds * rate)));
               return DbToRatio(kReferenceLevels[step]) * refNoise.Next();
             });
  return p;
}

struct FollowCase {
  const char* name;
  int format;
  int rate, inChannels, refChannels, block;
  bool single;
  double silence;
};

const FollowCase kFollowCases[] = {
    {"stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 2, 2, 512, false, 0.0},
    {"mono input, 16-bit", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 2, 512, false, 0.0},
    {"mono reference, FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000, 2, 1, 256, false, 0.0},
    {"single precision after leading silence", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, 2, 1024,
     true, 1.0},
};

// Runs one case and checks the output file and how it followed the reference.
void CheckFollows(const FollowCase& c) {
  SCOPED_TRACE(c.name);
  Scratch s;
  const Pair p = WritePair(s, "f", c.format, c.rate, c.inChannels, c.refChannels, c.silence);
  const std::string out =
      s((c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC ? "out.flac" : "out.wav");
  std::vector<std::string> args = {p.input, p.reference, out, "--block", std::to_string(c.block)};
  if (c.single) args.push_back("--single");
  const RunResult r = RunRender(s, args);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("following"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(s("out.png"))) << r.out;

  Audio in, ref, got;
  ASSERT_TRUE(ReadAudio(p.input, &in));
  ASSERT_TRUE(ReadAudio(p.reference, &ref));
  ASSERT_TRUE(ReadAudio(out, &got)) << out;
  EXPECT_EQ(got.info.frames, in.info.frames);
  EXPECT_EQ(got.info.samplerate, c.rate);
  EXPECT_EQ(got.info.channels, c.inChannels);
  EXPECT_EQ(got.info.format, c.format);

  // The receiver follows the reference as many whole blocks late as the input started silent.
  const int lag = static_cast<int>(c.silence * c.rate) / c.block;
  if (lag > 0) {
    EXPECT_NE(r.out.find(std::to_string(lag) + " blocks"), std::string::npos) << r.out;
  }
  const std::vector<double> o = MomentaryCurve(got, c.block), rc = MomentaryCurve(ref, c.block);
  const double blockSec = static_cast<double>(c.block) / c.rate;
  int compared = 0;
  double worst = 0.0;
  for (int k = lag; k < static_cast<int>(o.size()); ++k) {
    const double tOut = (k + 1) * blockSec, tRef = (k - lag + 1) * blockSec;
    // Settled: a second after the input's first sound and after each reference step.
    if (tOut < c.silence + 1.0) continue;
    if (std::fmod(tRef, kStepSeconds) < 1.0) continue;
    const double d = std::fabs(o[k] - rc[k - lag]);
    worst = std::max(worst, d);
    ++compared;
    EXPECT_LT(d, 0.5) << "block " << k << " at " << tOut << " s: output " << o[k]
                      << " LUFS, reference " << rc[k - lag];
    if (d >= 0.5) break;
  }
  EXPECT_GT(compared, static_cast<int>(4.0 / blockSec)) << "too few settled blocks";
  // The three reference steps are really there in the output, so following is not trivial.
  const int mid = static_cast<int>((kStepSeconds + 2.0 + c.silence) / blockSec);
  const int late = static_cast<int>((2 * kStepSeconds + 2.0 + c.silence) / blockSec);
  EXPECT_NEAR(o[mid] - o[late], kReferenceLevels[1] - kReferenceLevels[2], 1.0);
}

TEST(RenderFollow, OutputFollowsTheReference) {
  for (const FollowCase& c : kFollowCases)
    CheckFollows(c);
}

// The render keeps to a segment of its own: a sender of a running session (the environment's
// session key) reaches neither the render, nor does the render disturb that session.
TEST(RenderFollow, ASenderOfTheSessionDoesNotReachTheRender) {
  TestSession session("render");
  ReferenceSender loud;
  ASSERT_TRUE(loud.Open()) << loud.Error();
  loud.PublishLufs(-3.0);
  Scratch s;
  const Pair p = WritePair(s, "iso", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, 2, 0.0);
  const RunResult r = RunRender(s, {p.input, p.reference, s("out.wav"), "--no-plot"});
  ASSERT_EQ(r.code, 0) << r.err;
  Audio ref, got;
  ASSERT_TRUE(ReadAudio(p.reference, &ref));
  ASSERT_TRUE(ReadAudio(s("out.wav"), &got));
  const std::vector<double> o = MomentaryCurve(got, 512), rc = MomentaryCurve(ref, 512);
  const int k = static_cast<int>(2.0 * 48000 / 512);
  EXPECT_NEAR(o[k], rc[k], 0.5);
  // Our session's segment is still there with our sender flagged.
  uint8_t* data = loud.Data();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(LoadFlag(data, loud.Slot()), 1);
  EXPECT_FALSE(fs::exists(s("out.png")));
}

// Analysis in one run, saved with the state; normalisation from that state in the next brings the
// result's integrated loudness to the target.
TEST(RenderState, AnalysisSavedThenNormalisationReachesTheTarget) {
  Scratch s;
  const Pair p = WritePair(s, "st", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, 2, 0.0);
  RunResult r = RunRender(
      s, {p.input, p.reference, s("analysed.wav"), "--analyze", "--save-state", s("state.bin")});
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_TRUE(fs::exists(s("state.bin")));
  EXPECT_EQ(fs::file_size(s("state.bin")), 52u); // header, count, five doubles

  r = RunRender(s, {p.input, p.reference, s("normalised.wav"), "--load-state", s("state.bin"),
                    "--normalize", "--target", "-20", "--no-plot"});
  ASSERT_EQ(r.code, 0) << r.err;
  Audio analysed, normalised;
  ASSERT_TRUE(ReadAudio(s("analysed.wav"), &analysed));
  ASSERT_TRUE(ReadAudio(s("normalised.wav"), &normalised));
  // The plug-in's integrated meter keeps a histogram of 0.1 LU bins; this one measures exactly.
  EXPECT_NEAR(Integrated(normalised), -20.0, 0.1);
  EXPECT_GT(std::fabs(Integrated(analysed) + 20.0), 1.0); // the normalisation did something
}

// Every failure: one line on standard error, a non-zero exit, the existing output untouched and
// no temporary file left behind.
TEST(RenderErrors, RefusedWithOneLineAndOutputUntouched) {
  Scratch s;
  const Pair p = WritePair(s, "e", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 2, 0.0);
  WriteAudio(s("three.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 3, 4800,
             [](int, int) { return 0.1; });
  WriteAudio(s("ref44.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 4410,
             [](int, int) { return 0.1; });
  {
    std::ofstream(s("garbage.state"), std::ios::binary) << "this is not a plug-in state at all";
    std::ofstream(s("text.wav"), std::ios::binary) << "RIFF? no, plain text pretending to be audio";
  }
  const std::string out = s("precious.wav");
  const std::string keep = "an earlier render that must survive";

  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* message; // a part of the one-line error
  } cases[] = {
      {"missing input", {s("missing.wav"), p.reference, out}, "no such file"},
      {"missing reference", {p.input, s("missing.wav"), out}, "no such file"},
      {"not audio", {s("text.wav"), p.reference, out}, "cannot read"},
      {"three channels", {s("three.wav"), p.reference, out}, "3 channels"},
      {"three-channel reference", {p.input, s("three.wav"), out}, "3 channels"},
      {"other sample rate", {p.input, s("ref44.wav"), out}, "44100 Hz"},
      {"garbage state", {p.input, p.reference, out, "--load-state", s("garbage.state")}, "refused"},
      {"missing state",
       {p.input, p.reference, out, "--load-state", s("none.state")},
       "no such file"},
      {"target out of range", {p.input, p.reference, out, "--target", "-75"}, "--target"},
      {"block out of range", {p.input, p.reference, out, "--block", "0"}, "--block"},
      {"bool text refused", {p.input, p.reference, out, "--param", "Bypass=maybe"}, "refused"},
      {"unknown parameter", {p.input, p.reference, out, "--param", "Volume=3"}, "Volume"},
      {"missing plug-in", {p.input, p.reference, out, "--plugin", s("none.so")}, "plug-in"},
      {"output is the input", {p.input, p.reference, p.input}, "replace the input"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    { std::ofstream(out, std::ios::binary) << keep; }
    const RunResult r = RunRender(s, c.args);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(ReadText(out), keep);
    for (const auto& e : fs::directory_iterator(s.Dir()))
      EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
    EXPECT_FALSE(fs::exists(s("precious.png")));
  }
  // The input survived the attempt to overwrite it.
  Audio in;
  EXPECT_TRUE(ReadAudio(p.input, &in));
}

// The first command on a fresh machine: no files, the built-in example.
TEST(RenderExample, RunsAndWritesFilesAndPlot) {
  Scratch s;
  const RunResult r = RunRender(s, {"--example-dir", s("example")});
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* name : {"example-input.wav", "example-reference.wav", "example-output.wav"}) {
    Audio a;
    EXPECT_TRUE(ReadAudio(s("example/") + name, &a)) << name;
    EXPECT_EQ(a.info.samplerate, 48000) << name;
    EXPECT_EQ(a.info.frames, 20 * 48000) << name;
  }
  const std::string png = ReadText(s("example/example-output.png"));
  ASSERT_GT(png.size(), 10000u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](size_t at) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(png[at])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(png[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(png[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(png[at + 3]));
  };
  EXPECT_EQ(be32(16), 1200u); // IHDR width
  EXPECT_EQ(be32(20), 600u);  // and height
  EXPECT_NE(r.out.find("following"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("real time"), std::string::npos) << r.out;

  // The example does what it shows: after the delay, the output's loudness stays near the
  // reference's and well away from the input's.
  Audio ref, got, in;
  ASSERT_TRUE(ReadAudio(s("example/example-reference.wav"), &ref));
  ASSERT_TRUE(ReadAudio(s("example/example-output.wav"), &got));
  ASSERT_TRUE(ReadAudio(s("example/example-input.wav"), &in));
  EXPECT_NEAR(Integrated(ref), -16.0, 0.1);
  EXPECT_LT(Integrated(in), -22.0);
  EXPECT_NEAR(Integrated(got), Integrated(ref), 1.5);
}

// The two deliverables run the same receiver: over the built-in example the AAX module's output
// equals the VST2 module's single-precision output sample for sample, bit for bit.
TEST(RenderExample, AaxOutputEqualsVst2SinglePrecisionBitForBit) {
  Scratch s;
  RunResult r = RunRender(
      s, {"--example-dir", s("vst2"), "--single", "--subtype", "float", "--no-plot", "-q"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = RunRender(s, {"--example-dir", s("aax"), "--aax", "--subtype", "float", "--no-plot"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("(AAX), 32-bit processing"), std::string::npos) << r.out;
  // The module's diagnostics stay out of the report.
  EXPECT_EQ(r.out.find("attach input buffers"), std::string::npos);
  Audio vst2, aax;
  ASSERT_TRUE(ReadAudio(s("vst2/example-output.wav"), &vst2));
  ASSERT_TRUE(ReadAudio(s("aax/example-output.wav"), &aax));
  ASSERT_EQ(vst2.samples.size(), aax.samples.size());
  ASSERT_EQ(vst2.samples.size(), 2u * 20 * 48000);
  size_t differing = 0;
  for (size_t i = 0; i < vst2.samples.size(); ++i)
    if (std::memcmp(&vst2.samples[i], &aax.samples[i], sizeof(double)) != 0) ++differing;
  EXPECT_EQ(differing, 0u);
}

// The example runs through both plug-ins, the sender's module on the reference track and the
// receiver's on the input, as a host with two tracks runs them; the output matches the one made
// with the library stand-in, which publishes the loudness the render measures itself.
TEST(RenderExample, ThroughTheSenderPlugInAsThroughTheStandIn) {
  Scratch s;
  for (const char* format : {"vst2", "aax"}) {
    SCOPED_TRACE(format);
    std::vector<std::string> plugin = {"--example-dir", s(format), "--no-plot", "-q"};
    if (std::string(format) == "aax") plugin.push_back("--aax");
    std::vector<std::string> standIn = plugin;
    standIn[1] = s(std::string(format) + "-stand-in");
    standIn.push_back("--stand-in");
    RunResult r = RunRender(s, plugin);
    ASSERT_EQ(r.code, 0) << r.err;
    r = RunRender(s, standIn);
    ASSERT_EQ(r.code, 0) << r.err;
    Audio viaSender, viaStandIn;
    ASSERT_TRUE(ReadAudio(s(std::string(format) + "/example-output.wav"), &viaSender));
    ASSERT_TRUE(ReadAudio(s(std::string(format) + "-stand-in/example-output.wav"), &viaStandIn));
    EXPECT_NEAR(Integrated(viaSender), Integrated(viaStandIn), 0.1);
    const std::vector<double> a = MomentaryCurve(viaSender, 4800),
                              b = MomentaryCurve(viaStandIn, 4800);
    ASSERT_EQ(a.size(), b.size());
    double worst = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
      if (a[i] > -70.0 || b[i] > -70.0) worst = std::max(worst, std::fabs(a[i] - b[i]));
    EXPECT_LT(worst, 0.1) << "momentary loudness, every 100 ms";
  }
}

// Through the AAX module: analysis saved with the AAX chunk, normalisation from it in the next run;
// what only the VST2 module offers is refused.
TEST(RenderAax, StateAndParametersThroughTheAaxModule) {
  Scratch s;
  const Pair p = WritePair(s, "ax", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, 2, 0.0);
  RunResult r = RunRender(s, {p.input, p.reference, s("analysed.wav"), "--aax", "--analyze",
                              "--save-state", s("state.aax"), "--no-plot"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(fs::file_size(s("state.aax")), 44u); // count and five doubles, no header
  r = RunRender(s, {p.input, p.reference, s("normalised.wav"), "--aax", "--load-state",
                    s("state.aax"), "--normalize", "--target", "-20", "--no-plot"});
  ASSERT_EQ(r.code, 0) << r.err;
  Audio normalised;
  ASSERT_TRUE(ReadAudio(s("normalised.wav"), &normalised));
  // The plug-in's integrated meter keeps a histogram of 0.1 LU bins; this one measures exactly.
  EXPECT_NEAR(Integrated(normalised), -20.0, 0.1);
  EXPECT_NE(r.out.find("Normalization target -20.00 LUFS"), std::string::npos) << r.out;

  const struct {
    std::vector<std::string> args;
    const char* message;
  } refused[] = {
      {{"--aax", "--param", "Bypass=maybe"}, "refused"},
      {{"--aax", "--param", "Normalization target=-75"}, "refused"},
      {{"--aax", "--screenshot", s("shot.png")}, "VST2"},
  };
  for (const auto& c : refused) {
    std::vector<std::string> args = {p.input, p.reference, s("x.wav"), "--no-plot"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    r = RunRender(s, args);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

} // namespace
