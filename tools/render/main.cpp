// zt-render: renders an audio file through the ZolvarTesk_Receive plug-in against a
// reference file, as a session with a sender on the reference track would, and reports how
// closely the result followed the reference.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "tools/render/AudioFile.h"
#include "tools/render/Example.h"
#include "tools/render/Loudness.h"
#include "tools/render/Plot.h"
#include "tools/render/Render.h"
#include "tools/render/RenderPlugin.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef ZT_RENDER_PLUGIN
#define ZT_RENDER_PLUGIN ""
#endif
#ifndef ZT_RENDER_AAX_PLUGIN
#define ZT_RENDER_AAX_PLUGIN ""
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kMinBlock = 16, kMaxBlock = 16384;

void Usage(FILE* f) {
  fputs("usage: zt-render [options] INPUT REFERENCE OUTPUT\n"
        "       zt-render [options]          run the built-in example (no files needed)\n"
        "\n"
        "Makes the loudness of INPUT follow the momentary loudness of REFERENCE through the\n"
        "ZolvarTesk_Receive plug-in, writes the result to OUTPUT and a plot of the three\n"
        "loudness curves beside it (OUTPUT with the extension .png). INPUT and REFERENCE are\n"
        "mono or stereo WAV, FLAC or AIFF files at the same sample rate.\n"
        "\n"
        "Plug-in:\n"
        "  --plugin PATH        the plug-in module (default: the one built with this tool)\n"
        "  --sender PATH        the sender plug-in's module, run on REFERENCE block by block\n"
        "                       before the receiver, as a host runs two tracks (default:\n"
        "                       the one built with this tool)\n"
        "  --stand-in           publish the reference's loudness as this tool measures it,\n"
        "                       without the sender plug-in\n"
        "  --aax                through the AAX module (single precision; the state files\n"
        "                       hold the AAX chunk), not the VST2 module\n"
        "  --block N            frames per block, 16 to 16384 (default 512)\n"
        "  --single             single-precision processing (default: 64-bit)\n"
        "Parameters, applied as texts after --load-state, in the order given:\n"
        "  --target LUFS        Normalization target, -60 to 0 (plug-in default -23)\n"
        "  --bypass on|off      Bypass\n"
        "  --analyze            Normalization analysis on: measures the integrated loudness\n"
        "                       of the result into \"Integrated Level\" (keep it with\n"
        "                       --save-state)\n"
        "  --normalize          Output normalization on: adds the gain that brings\n"
        "                       \"Integrated Level\" to the target (use with --load-state)\n"
        "  --param NAME=TEXT    any parameter by name or index, e.g. --param Bypass=on\n"
        "State:\n"
        "  --load-state FILE    restore a saved plug-in state before processing\n"
        "  --save-state FILE    save the plug-in state after processing\n"
        "Output:\n"
        "  --format F           wav, flac or aiff (default: from OUTPUT's extension, else\n"
        "                       the input's format)\n"
        "  --subtype S          pcm16, pcm24, pcm32, float or double (default: the input's)\n"
        "  --plot FILE          where to write the plot (default: OUTPUT with .png)\n"
        "  --no-plot            write no plot\n"
        "  --screenshot FILE    write a PNG of the plug-in's editor as it looks after\n"
        "                       processing (read-outs of the last block, switches, target;\n"
        "                       VST2 module only)\n"
        "  --sender-screenshot FILE  the same of the sender plug-in's editor\n"
        "  --example-dir DIR    folder for the built-in example (default: zt-render-example)\n"
        "  -q, --quiet          print nothing but errors\n"
        "  -h, --help           show this text\n"
        "\n"
        "The built-in example synthesises a speech-like reference at -16 LUFS and a quieter\n"
        "music-like input (1.5 s of silence, then sections at about -30, -22 and -36 LUFS),\n"
        "20 s at 48 kHz stereo, and writes example-input.wav, example-reference.wav,\n"
        "example-output.wav and example-output.png into the example folder.\n",
        f);
}

[[noreturn]] void Fail(const std::string& message, int code = 1) {
  fprintf(stderr, "zt-render: %s\n", message.c_str());
  exit(code);
}

void OnSignal(int) {
  RequestStop();
}

// The module of a plug-in ("ZolvarTesk_Receive", "ZolvarTesk_Send") beside this executable, so
// that copied files work together, else the one of the build tree.
std::string DefaultModule(const std::string& plugin, bool aax) {
#if defined(_WIN32)
  const std::string name = plugin + (aax ? ".aaxplugin" : ".dll");
  char self[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string exe = n > 0 && n < MAX_PATH ? std::string(self, n) : std::string();
#else
  const std::string name = plugin + (aax ? ".aaxplugin" : ".so");
  std::error_code ec;
  std::string exe = fs::read_symlink("/proc/self/exe", ec).string();
#endif
  if (!exe.empty()) {
    std::error_code ec2;
    const fs::path beside = fs::path(exe).parent_path() / name;
    if (fs::exists(beside, ec2)) return beside.string();
  }
  if (plugin == "ZolvarTesk_Send") return aax ? ZT_RENDER_SEND_AAX_PLUGIN : ZT_RENDER_SEND_PLUGIN;
  return aax ? ZT_RENDER_AAX_PLUGIN : ZT_RENDER_PLUGIN;
}

std::string WithExtension(const std::string& path, const char* ext) {
  fs::path p(path);
  if (p.extension() == ext) return path + ext;
  p.replace_extension(ext);
  return p.string();
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

void CheckFolderFor(const std::string& path, const char* what) {
  std::error_code ec;
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec))
    Fail(std::string("cannot write the ") + what + " '" + path + "': no folder '" +
         parent.string() + "'");
}

std::string Seconds(double s) {
  char buf[32];
  snprintf(buf, sizeof buf, "%.2f s", s);
  return buf;
}

std::string ChannelsText(int channels) {
  return channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + " ch";
}

// Writes one synthesised signal as 32-bit float WAV.
void WriteExampleFile(const std::string& path, const std::vector<double>& interleaved, int rate,
                      int channels) {
  AudioWriter w;
  std::string err;
  AudioInfo info;
  info.rate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  if (!w.Open(path, info, &err) ||
      !w.Write(interleaved.data(), static_cast<int64_t>(interleaved.size()) / channels, &err) ||
      !w.Commit(&err))
    Fail(err);
}

// What the command line asks for.
struct CommandLine {
  RenderOptions options;
  std::vector<std::string> files; // INPUT REFERENCE OUTPUT, or none for the example
  std::string pluginPath, senderPath, formatName, subtypeName, plotPath, screenshotPath;
  std::string senderScreenshotPath;
  bool standIn = false; // the library stand-in publishes the reference, not the sender plug-in
  std::string exampleDir = "zt-render-example";
  bool noPlot = false, quiet = false, analyze = false, normalize = false;
  bool example = false; // no files were given: the built-in example is rendered
};

// The options that shape the plug-in and its parameters; false for any other option.
bool ParsePluginOption(const std::string& a, const std::function<std::string()>& value,
                       CommandLine& cl) {
  RenderOptions& o = cl.options;
  if (a == "--plugin") {
    cl.pluginPath = value();
  } else if (a == "--sender") {
    cl.senderPath = value();
  } else if (a == "--stand-in") {
    cl.standIn = true;
  } else if (a == "--block") {
    const std::string v = value();
    double n = 0;
    if (!ParseWholeNumber(v, &n) || n != std::floor(n) || n < kMinBlock || n > kMaxBlock)
      Fail("--block must be a whole number of frames from 16 to 16384, got '" + v + "'", 2);
    o.blockSize = static_cast<int>(n);
  } else if (a == "--single") {
    o.singlePrecision = true;
  } else if (a == "--aax") {
    o.aax = true;
  } else if (a == "--target") {
    const std::string v = value();
    double t = 0;
    if (!ParseWholeNumber(v, &t) || t < -60.0 || t > 0.0)
      Fail("--target must be a loudness from -60 to 0 LUFS, got '" + v + "'", 2);
    o.params.emplace_back("Normalization target", v);
  } else if (a == "--bypass") {
    const std::string v = value();
    if (v != "on" && v != "off") Fail("--bypass must be on or off, got '" + v + "'", 2);
    o.params.emplace_back("Bypass", v);
  } else if (a == "--analyze" || a == "--analyse") {
    cl.analyze = true;
    o.params.emplace_back("Normalization analysis", "on");
  } else if (a == "--normalize" || a == "--normalise") {
    cl.normalize = true;
    o.params.emplace_back("Output normalization", "on");
  } else if (a == "--param") {
    const std::string v = value();
    const size_t eq = v.find('=');
    if (eq == std::string::npos || eq == 0) Fail("--param needs NAME=TEXT, got '" + v + "'", 2);
    o.params.emplace_back(v.substr(0, eq), v.substr(eq + 1));
  } else {
    return false;
  }
  return true;
}

// The options for the state and the files written; false for any other option.
bool ParseOutputOption(const std::string& a, const std::function<std::string()>& value,
                       CommandLine& cl) {
  if (a == "--load-state") {
    cl.options.loadState = value();
  } else if (a == "--save-state") {
    cl.options.saveState = value();
  } else if (a == "--format") {
    cl.formatName = value();
  } else if (a == "--subtype") {
    cl.subtypeName = value();
  } else if (a == "--plot") {
    cl.plotPath = value();
  } else if (a == "--screenshot") {
    cl.screenshotPath = value();
    if (cl.screenshotPath.empty()) Fail("--screenshot needs a file name", 2);
  } else if (a == "--sender-screenshot") {
    cl.senderScreenshotPath = value();
    if (cl.senderScreenshotPath.empty()) Fail("--sender-screenshot needs a file name", 2);
  } else if (a == "--no-plot") {
    cl.noPlot = true;
  } else if (a == "--example-dir") {
    cl.exampleDir = value();
  } else if (a == "-q" || a == "--quiet") {
    cl.quiet = true;
  } else {
    return false;
  }
  return true;
}

// Reads the command line; prints the help or a one-line reason and exits where it must.
CommandLine ParseArguments(int argc, char** argv) {
  CommandLine cl;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const std::function<std::string()> value = [&]() -> std::string {
      if (i + 1 >= argc) Fail(a + " needs a value (see --help)", 2);
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      Usage(stdout);
      exit(0);
    }
    if (ParsePluginOption(a, value, cl) || ParseOutputOption(a, value, cl)) continue;
    if (a.size() > 1 && a[0] == '-') Fail("unknown option '" + a + "' (see --help)", 2);
    cl.files.push_back(a);
  }
  if (cl.analyze && cl.normalize)
    Fail("--analyze and --normalize exclude each other: analyse in one run (--save-state), "
         "normalise in the next (--load-state)",
         2);
  if (!cl.files.empty() && cl.files.size() != 3)
    Fail("give INPUT REFERENCE OUTPUT, or no files for the built-in example (see --help)", 2);
  if (cl.options.aax) {
    if (!cl.screenshotPath.empty() || !cl.senderScreenshotPath.empty())
      Fail("--screenshot needs the VST2 module: the AAX module has no picture call", 2);
    cl.options.singlePrecision = true; // AAX renders single precision only
  }
  cl.options.plugin =
      cl.pluginPath.empty() ? DefaultModule("ZolvarTesk_Receive", cl.options.aax) : cl.pluginPath;
  if (!cl.standIn)
    cl.options.sender =
        cl.senderPath.empty() ? DefaultModule("ZolvarTesk_Send", cl.options.aax) : cl.senderPath;
  cl.options.progress = !cl.quiet;
  std::error_code ec;
  if (cl.options.plugin.empty() || !fs::exists(cl.options.plugin, ec))
    Fail("no plug-in module at '" + cl.options.plugin + "' (build " +
         (cl.options.aax ? "ZolvarTesk_Receive_aax" : "ZolvarTesk_Receive") + ", or --plugin)");
  if (cl.standIn && !cl.senderScreenshotPath.empty())
    Fail("--sender-screenshot needs the sender plug-in, not --stand-in", 2);
  if (!cl.standIn && !fs::exists(cl.options.sender, ec))
    Fail("no sender module at '" + cl.options.sender + "' (build " +
         (cl.options.aax ? "ZolvarTesk_Send_aax" : "ZolvarTesk_Send") +
         ", or --sender, or --stand-in)");
  return cl;
}

// The example: synthesised and written, then rendered like any pair of files.
void WriteExample(CommandLine& cl) {
  cl.example = true;
  std::error_code ec;
  fs::create_directories(cl.exampleDir, ec);
  if (!fs::is_directory(cl.exampleDir, ec))
    Fail("cannot create the example folder '" + cl.exampleDir + "'");
  const ExampleSignals ex = SynthesizeExample();
  const std::string in = (fs::path(cl.exampleDir) / "example-input.wav").string();
  const std::string ref = (fs::path(cl.exampleDir) / "example-reference.wav").string();
  WriteExampleFile(in, ex.input, ex.rate, ex.channels);
  WriteExampleFile(ref, ex.reference, ex.rate, ex.channels);
  cl.files = {in, ref, (fs::path(cl.exampleDir) / "example-output.wav").string()};
}

// Refuses, before any work, what would overwrite an input or write into no folder.
void CheckOutputPaths(CommandLine& cl) {
  const std::string &in = cl.files[0], &ref = cl.files[1], &out = cl.files[2];
  if (SameFile(out, in)) Fail("the output '" + out + "' would replace the input");
  if (SameFile(out, ref)) Fail("the output '" + out + "' would replace the reference");
  if (!cl.noPlot && cl.plotPath.empty()) cl.plotPath = WithExtension(out, ".png");
  CheckFolderFor(out, "output");
  if (!cl.noPlot) CheckFolderFor(cl.plotPath, "plot");
  if (!cl.options.saveState.empty()) CheckFolderFor(cl.options.saveState, "state file");
  // A picture may go anywhere but over the audio.
  auto checkPicture = [&](const std::string& path) {
    if (path.empty()) return false;
    CheckFolderFor(path, "screenshot");
    if (SameFile(path, in) || SameFile(path, ref) || SameFile(path, out))
      Fail("the screenshot '" + path + "' would replace one of the audio files");
    return true;
  };
  cl.options.screenshot = checkPicture(cl.screenshotPath);
  cl.options.senderScreenshot = checkPicture(cl.senderScreenshotPath);
}

// Opens the two files to read; exits with a reason when they cannot be rendered together.
void OpenInputs(const CommandLine& cl, AudioReader& input, AudioReader& reference) {
  const std::string &inPath = cl.files[0], &refPath = cl.files[1];
  std::string err;
  if (!input.Open(inPath, &err)) Fail(err);
  if (!reference.Open(refPath, &err)) Fail(err);
  const AudioInfo& ii = input.Info();
  const AudioInfo& ri = reference.Info();
  const std::tuple<const char*, const std::string&, const AudioInfo&> files[] = {
      {"input", inPath, ii}, {"reference", refPath, ri}};
  for (const auto& [what, path, info] : files)
    if (info.channels > 2)
      Fail(std::string("the ") + what + " '" + path + "' has " + std::to_string(info.channels) +
           " channels; only mono and stereo are supported");
  if (ri.rate != ii.rate)
    Fail("the reference '" + refPath + "' is at " + std::to_string(ri.rate) +
         " Hz but the input '" + inPath + "' is at " + std::to_string(ii.rate) +
         " Hz; resample one of them first");
  for (const auto& [what, path, info] : files)
    if (info.frames <= 0) Fail(std::string("the ") + what + " '" + path + "' holds no audio");
}

// What the render leaves to report: the comparison of output and reference.
struct Report {
  const CommandLine& cl;
  const RenderResult& r;
  FollowStats follow;
  double blockSeconds, lagSeconds, audioSeconds;
  int firstCompared;

  Report(const CommandLine& cl, const RenderResult& r) : cl(cl), r(r) {
    blockSeconds = static_cast<double>(r.blockSize) / r.rate;
    lagSeconds = r.lagBlocks * blockSeconds;
    firstCompared = r.lagBlocks + static_cast<int>(std::ceil(1.0 / blockSeconds));
    follow = CompareCurves(r.output.momentary, r.reference.momentary, r.lagBlocks, firstCompared,
                           blockSeconds);
    audioSeconds = static_cast<double>(r.frames) / r.rate;
  }
};

void WriteResultPlot(const Report& rep) {
  const RenderResult& r = rep.r;
  PlotSpec desc;
  desc.title = "zt-render: " + fs::path(rep.cl.files[0]).filename().string() + " following " +
               fs::path(rep.cl.files[1]).filename().string();
  char line[512];
  snprintf(line, sizeof line, "Momentary loudness (EBU R128, 400 ms) per %d-frame block at %d Hz",
           r.blockSize, r.rate);
  desc.subtitle = line;
  if (rep.follow.blocks > 0) {
    snprintf(line, sizeof line, ". Output vs reference: mean difference %.2f LU, max %.2f LU",
             rep.follow.meanAbs, rep.follow.maxAbs);
    desc.subtitle += line;
  }
  desc.blockSeconds = rep.blockSeconds;
  desc.blocks = static_cast<int>(r.output.momentary.size());
  desc.curves.push_back({"reference", &r.reference.momentary, 0.12, 0.42, 0.80, 2.0, false, 0});
  if (r.lagBlocks > 0) {
    snprintf(line, sizeof line, "reference as followed (%.2f s later)", rep.lagSeconds);
    desc.curves.push_back({line, &r.reference.momentary, 0.45, 0.62, 0.88, 1.5, true, r.lagBlocks});
  }
  desc.curves.push_back({"input", &r.input.momentary, 0.55, 0.55, 0.58, 2.0, false, 0});
  desc.curves.push_back({"output", &r.output.momentary, 0.90, 0.38, 0.05, 2.2, false, 0});
  std::string err;
  if (!WritePlot(rep.cl.plotPath, desc, &err)) Fail(err);
}

// The loudness table and how closely the output followed.
void PrintLoudness(const Report& rep) {
  const RenderResult& r = rep.r;
  printf("                  integrated   max momentary\n");
  const struct {
    const char* name;
    const LoudnessCurve& c;
  } rows[] = {{"input", r.input}, {"reference", r.reference}, {"output", r.output}};
  for (const auto& row : rows)
    printf("  %-10s %15s %15s\n", row.name, FormatLufs(row.c.integrated).c_str(),
           FormatLufs(row.c.MaxMomentary()).c_str());
  if (r.lagBlocks > 0)
    printf("  delay      the input starts with %s of silence: the receiver follows the reference "
           "%d blocks (%s) later\n",
           Seconds(static_cast<double>(r.silentFrames) / r.rate).c_str(), r.lagBlocks,
           Seconds(rep.lagSeconds).c_str());
  const std::string from = Seconds(rep.firstCompared * rep.blockSeconds);
  if (rep.follow.blocks > 0)
    printf("  following  output vs reference from %s on: mean |difference| %.2f LU, max %.2f LU "
           "(at %s), over %d blocks above -70 LUFS\n",
           from.c_str(), rep.follow.meanAbs, rep.follow.maxAbs,
           Seconds(rep.follow.worstSeconds).c_str(), rep.follow.blocks);
  else
    printf("  following  no blocks to compare (output or reference below -70 LUFS after %s)\n",
           from.c_str());
}

// What the user should know beyond the figures, and the files written.
void PrintNotes(const Report& rep, const AudioReader& input, const AudioWriter& output) {
  const CommandLine& cl = rep.cl;
  const RenderResult& r = rep.r;
  if (r.referenceFrames < r.frames)
    printf("  note       the reference is %.2f s shorter than the input: after its end the "
           "receiver saw a silent reference and returned to unity gain\n",
           static_cast<double>(r.frames - r.referenceFrames) / r.rate);
  if (input.NonFiniteSamples() > 0)
    printf("  note       %lld input samples were not numbers and were read as silence\n",
           static_cast<long long>(input.NonFiniteSamples()));
  if (output.ClippedSamples() > 0)
    printf("  warning    %lld output samples exceeded full scale and were clipped; --subtype "
           "float keeps them\n",
           static_cast<long long>(output.ClippedSamples()));
  printf("  wrote      %s", cl.files[2].c_str());
  if (!cl.noPlot) printf(", %s", cl.plotPath.c_str());
  if (!cl.options.saveState.empty()) printf(", %s", cl.options.saveState.c_str());
  if (cl.options.screenshot) printf(", %s", cl.screenshotPath.c_str());
  if (cl.options.senderScreenshot) printf(", %s", cl.senderScreenshotPath.c_str());
  printf("\n");
}

void PrintReport(const Report& rep, const AudioReader& input, const AudioWriter& output,
                 const AudioInfo& outInfo, const std::string& formatNote) {
  const CommandLine& cl = rep.cl;
  const RenderResult& r = rep.r;
  printf("zt-render: %s against %s -> %s\n", cl.files[0].c_str(), cl.files[1].c_str(),
         cl.files[2].c_str());
  if (cl.example)
    printf("  example    synthesised speech-like reference and music-like input (see --help)\n");
  printf("  plug-in    %s (%s), %s processing, %d-frame blocks\n", cl.options.plugin.c_str(),
         cl.options.aax ? "AAX" : "VST2", cl.options.singlePrecision ? "32-bit" : "64-bit",
         r.blockSize);
  if (cl.options.sender.empty())
    printf("  sender     the library stand-in (the reference's loudness as measured here)\n");
  else
    printf("  sender     %s on the reference\n", cl.options.sender.c_str());
  printf("  audio      %.2f s, %d Hz, %s in, %s out, %s\n", rep.audioSeconds, r.rate,
         ChannelsText(input.Info().channels).c_str(), ChannelsText(outInfo.channels).c_str(),
         DescribeFormat(outInfo.format).c_str());
  if (!formatNote.empty()) printf("  note       %s\n", formatNote.c_str());
  PrintLoudness(rep);
  const double speed = r.wallSeconds > 0 ? rep.audioSeconds / r.wallSeconds : 0.0;
  const double pluginSpeed = r.pluginSeconds > 0 ? rep.audioSeconds / r.pluginSeconds : 0.0;
  printf("  speed      %.0fx real time (%.3f s for %.2f s of audio; the plug-in alone %.0fx)\n",
         speed, r.wallSeconds, rep.audioSeconds, pluginSpeed);
  std::string params;
  for (const std::string& p : r.finalParams)
    params += (params.empty() ? "" : ", ") + p;
  printf("  parameters %s\n", params.c_str());
  PrintNotes(rep, input, output);
}

// The run: files checked and opened, the render, then what it leaves behind in this order: the
// audio, the plug-in's state, the screenshot, the plot, the report.
int Run(CommandLine& cl) {
  if (cl.files.empty()) WriteExample(cl);
  CheckOutputPaths(cl);
  AudioReader input, reference;
  OpenInputs(cl, input, reference);

  std::string err, formatNote;
  AudioInfo outInfo = input.Info();
  if (!ChooseOutputFormat(cl.files[2], input.Info().format, cl.formatName, cl.subtypeName,
                          outInfo.channels, outInfo.rate, &outInfo.format, &formatNote, &err))
    Fail(err, 2);
  AudioWriter output;
  if (!output.Open(cl.files[2], outInfo, &err)) Fail(err);

  // Stopping cleanly leaves no temporary file and no shared segment behind.
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
#if defined(SIGHUP)
  std::signal(SIGHUP, OnSignal);
#endif

  RenderResult r;
  if (!Render(cl.options, input, reference, output, &r, &err)) {
    output.Abandon();
    Fail(err, r.interrupted ? 130 : 1);
  }
  if (!output.Commit(&err)) Fail(err);
  const std::string& state = cl.options.saveState;
  if (!state.empty() && !WriteFileAtomically(state, r.state.data(), r.state.size(), &err))
    Fail(err);
  if (cl.options.screenshot && !WriteEditorPicture(cl.screenshotPath, r.editor, &err)) Fail(err);
  if (cl.options.senderScreenshot &&
      !WriteEditorPicture(cl.senderScreenshotPath, r.senderEditor, &err))
    Fail(err);

  const Report report(cl, r);
  if (!cl.noPlot) WriteResultPlot(report);
  if (!cl.quiet) PrintReport(report, input, output, outInfo, formatNote);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  CommandLine cl = ParseArguments(argc, argv);
  return Run(cl);
}
