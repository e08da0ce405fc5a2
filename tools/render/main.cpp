// zt-render: renders an audio file through the ZolvarTesk_Receive VST2 plug-in against a
// reference file, as a session with a sender on the reference track would, and reports how
// closely the result followed the reference.
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/render/AudioFile.h"
#include "tools/render/Example.h"
#include "tools/render/Loudness.h"
#include "tools/render/Plot.h"
#include "tools/render/Render.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef ZT_RENDER_PLUGIN
#define ZT_RENDER_PLUGIN ""
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kMinBlock = 16, kMaxBlock = 16384;

void Usage(FILE* f) {
  fputs("usage: zt-render [options] INPUT REFERENCE OUTPUT\n"
        "       zt-render [options]          run the built-in example (no files needed)\n"
        "\n"
        "Makes the loudness of INPUT follow the momentary loudness of REFERENCE through the\n"
        "ZolvarTesk_Receive VST2 plug-in, writes the result to OUTPUT and a plot of the three\n"
        "loudness curves beside it (OUTPUT with the extension .png). INPUT and REFERENCE are\n"
        "mono or stereo WAV, FLAC or AIFF files at the same sample rate.\n"
        "\n"
        "Plug-in:\n"
        "  --plugin PATH        the plug-in module (default: the one built with this tool)\n"
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
        "                       processing (read-outs of the last block, switches, target)\n"
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

bool ParseNumber(const char* text, double* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const double v = strtod(text, &end);
  if (end == text || errno == ERANGE || !std::isfinite(v)) return false;
  while (*end == ' ')
    ++end;
  if (*end) return false;
  *out = v;
  return true;
}

[[noreturn]] void Fail(const std::string& message, int code = 1) {
  fprintf(stderr, "zt-render: %s\n", message.c_str());
  exit(code);
}

void OnSignal(int) {
  RequestStop();
}

// The module beside this executable wins over the one of the build tree, so that a copied
// pair of files works together.
std::string DefaultPlugin() {
#if defined(_WIN32)
  const char* name = "ZolvarTesk_Receive.dll";
  char self[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string exe = n > 0 && n < MAX_PATH ? std::string(self, n) : std::string();
#else
  const char* name = "ZolvarTesk_Receive.so";
  std::error_code ec;
  std::string exe = fs::read_symlink("/proc/self/exe", ec).string();
#endif
  if (!exe.empty()) {
    std::error_code ec2;
    const fs::path beside = fs::path(exe).parent_path() / name;
    if (fs::exists(beside, ec2)) return beside.string();
  }
  return ZT_RENDER_PLUGIN;
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

} // namespace

int main(int argc, char** argv) {
  RenderOptions options;
  std::vector<std::string> files;
  std::string pluginPath, formatName, subtypeName, plotPath, screenshotPath;
  std::string exampleDir = "zt-render-example";
  bool noPlot = false, quiet = false, analyze = false, normalize = false;

  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Fail(a + " needs a value (see --help)", 2);
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      Usage(stdout);
      return 0;
    } else if (a == "--plugin") {
      pluginPath = value();
    } else if (a == "--block") {
      const std::string v = value();
      double n = 0;
      if (!ParseNumber(v.c_str(), &n) || n != std::floor(n) || n < kMinBlock || n > kMaxBlock)
        Fail("--block must be a whole number of frames from 16 to 16384, got '" + v + "'", 2);
      options.blockSize = static_cast<int>(n);
    } else if (a == "--single") {
      options.singlePrecision = true;
    } else if (a == "--target") {
      const std::string v = value();
      double t = 0;
      if (!ParseNumber(v.c_str(), &t) || t < -60.0 || t > 0.0)
        Fail("--target must be a loudness from -60 to 0 LUFS, got '" + v + "'", 2);
      options.params.emplace_back("Normalization target", v);
    } else if (a == "--bypass") {
      const std::string v = value();
      if (v != "on" && v != "off") Fail("--bypass must be on or off, got '" + v + "'", 2);
      options.params.emplace_back("Bypass", v);
    } else if (a == "--analyze" || a == "--analyse") {
      analyze = true;
      options.params.emplace_back("Normalization analysis", "on");
    } else if (a == "--normalize" || a == "--normalise") {
      normalize = true;
      options.params.emplace_back("Output normalization", "on");
    } else if (a == "--param") {
      const std::string v = value();
      const size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) Fail("--param needs NAME=TEXT, got '" + v + "'", 2);
      options.params.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else if (a == "--load-state") {
      options.loadState = value();
    } else if (a == "--save-state") {
      options.saveState = value();
    } else if (a == "--format") {
      formatName = value();
    } else if (a == "--subtype") {
      subtypeName = value();
    } else if (a == "--plot") {
      plotPath = value();
    } else if (a == "--screenshot") {
      screenshotPath = value();
      if (screenshotPath.empty()) Fail("--screenshot needs a file name", 2);
    } else if (a == "--no-plot") {
      noPlot = true;
    } else if (a == "--example-dir") {
      exampleDir = value();
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      Fail("unknown option '" + a + "' (see --help)", 2);
    } else {
      files.push_back(a);
    }
  }
  if (analyze && normalize)
    Fail("--analyze and --normalize exclude each other: analyse in one run (--save-state), "
         "normalise in the next (--load-state)",
         2);
  if (!files.empty() && files.size() != 3)
    Fail("give INPUT REFERENCE OUTPUT, or no files for the built-in example (see --help)", 2);

  options.plugin = pluginPath.empty() ? DefaultPlugin() : pluginPath;
  options.progress = !quiet;
  {
    std::error_code ec;
    if (options.plugin.empty() || !fs::exists(options.plugin, ec))
      Fail("no plug-in module at '" + options.plugin + "' (build ZolvarTesk_Receive, or --plugin)");
  }

  // The example: synthesise, write, then render it like any pair of files.
  const bool example = files.empty();
  if (example) {
    std::error_code ec;
    fs::create_directories(exampleDir, ec);
    if (!fs::is_directory(exampleDir, ec))
      Fail("cannot create the example folder '" + exampleDir + "'");
    const ExampleSignals ex = SynthesizeExample();
    const std::string in = (fs::path(exampleDir) / "example-input.wav").string();
    const std::string ref = (fs::path(exampleDir) / "example-reference.wav").string();
    WriteExampleFile(in, ex.input, ex.rate, ex.channels);
    WriteExampleFile(ref, ex.reference, ex.rate, ex.channels);
    files = {in, ref, (fs::path(exampleDir) / "example-output.wav").string()};
  }
  const std::string &inPath = files[0], &refPath = files[1], &outPath = files[2];

  if (SameFile(outPath, inPath)) Fail("the output '" + outPath + "' would replace the input");
  if (SameFile(outPath, refPath)) Fail("the output '" + outPath + "' would replace the reference");
  if (!noPlot && plotPath.empty()) plotPath = WithExtension(outPath, ".png");
  CheckFolderFor(outPath, "output");
  if (!noPlot) CheckFolderFor(plotPath, "plot");
  if (!options.saveState.empty()) CheckFolderFor(options.saveState, "state file");
  if (!screenshotPath.empty()) {
    CheckFolderFor(screenshotPath, "screenshot");
    if (SameFile(screenshotPath, inPath) || SameFile(screenshotPath, refPath) ||
        SameFile(screenshotPath, outPath))
      Fail("the screenshot '" + screenshotPath + "' would replace one of the audio files");
    options.screenshot = true;
  }

  std::string err;
  AudioReader input, reference;
  if (!input.Open(inPath, &err)) Fail(err);
  if (!reference.Open(refPath, &err)) Fail(err);
  const AudioInfo& ii = input.Info();
  const AudioInfo& ri = reference.Info();
  if (ii.channels > 2)
    Fail("the input '" + inPath + "' has " + std::to_string(ii.channels) +
         " channels; only mono and stereo are supported");
  if (ri.channels > 2)
    Fail("the reference '" + refPath + "' has " + std::to_string(ri.channels) +
         " channels; only mono and stereo are supported");
  if (ri.rate != ii.rate)
    Fail("the reference '" + refPath + "' is at " + std::to_string(ri.rate) +
         " Hz but the input '" + inPath + "' is at " + std::to_string(ii.rate) +
         " Hz; resample one of them first");
  if (ii.frames <= 0) Fail("the input '" + inPath + "' holds no audio");
  if (ri.frames <= 0) Fail("the reference '" + refPath + "' holds no audio");

  int outFormat = 0;
  std::string formatNote;
  if (!ChooseOutputFormat(outPath, ii.format, formatName, subtypeName, ii.channels, ii.rate,
                          &outFormat, &formatNote, &err))
    Fail(err, 2);
  AudioInfo oi = ii;
  oi.format = outFormat;
  AudioWriter output;
  if (!output.Open(outPath, oi, &err)) Fail(err);

  // Stopping cleanly leaves no temporary file and no shared segment behind.
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
#if defined(SIGHUP)
  std::signal(SIGHUP, OnSignal);
#endif

  RenderResult r;
  if (!Render(options, input, reference, output, &r, &err)) {
    output.Abandon();
    Fail(err, r.interrupted ? 130 : 1);
  }
  if (!output.Commit(&err)) Fail(err);

  // The plug-in's state, then the plot; the audio is already safe under its name.
  const bool wroteState = !options.saveState.empty();
  if (wroteState && !WriteFileAtomically(options.saveState, r.state.data(), r.state.size(), &err))
    Fail(err);
  if (options.screenshot && !WriteEditorPicture(screenshotPath, r.editor, &err)) Fail(err);

  const double blockSeconds = static_cast<double>(r.blockSize) / r.rate;
  const double lagSeconds = r.lagBlocks * blockSeconds;
  const int firstCompared = r.lagBlocks + static_cast<int>(std::ceil(1.0 / blockSeconds));
  const FollowStats follow = CompareCurves(r.output.momentary, r.reference.momentary, r.lagBlocks,
                                           firstCompared, blockSeconds);
  const double audioSeconds = static_cast<double>(r.frames) / r.rate;
  char line[512];

  if (!noPlot) {
    PlotSpec desc;
    desc.title = "zt-render: " + fs::path(inPath).filename().string() + " following " +
                 fs::path(refPath).filename().string();
    if (follow.blocks > 0) {
      snprintf(line, sizeof line,
               "Momentary loudness (EBU R128, 400 ms) per %d-frame block at %d Hz. Output vs "
               "reference: mean difference %.2f LU, max %.2f LU",
               r.blockSize, r.rate, follow.meanAbs, follow.maxAbs);
    } else {
      snprintf(line, sizeof line,
               "Momentary loudness (EBU R128, 400 ms) per %d-frame block at %d Hz", r.blockSize,
               r.rate);
    }
    desc.subtitle = line;
    desc.blockSeconds = blockSeconds;
    desc.blocks = static_cast<int>(r.output.momentary.size());
    desc.curves.push_back({"reference", &r.reference.momentary, 0.12, 0.42, 0.80, 2.0, false, 0});
    if (r.lagBlocks > 0) {
      snprintf(line, sizeof line, "reference as followed (%.2f s later)", lagSeconds);
      desc.curves.push_back(
          {line, &r.reference.momentary, 0.45, 0.62, 0.88, 1.5, true, r.lagBlocks});
    }
    desc.curves.push_back({"input", &r.input.momentary, 0.55, 0.55, 0.58, 2.0, false, 0});
    desc.curves.push_back({"output", &r.output.momentary, 0.90, 0.38, 0.05, 2.2, false, 0});
    if (!WritePlot(plotPath, desc, &err)) Fail(err);
  }

  if (quiet) return 0;
  printf("zt-render: %s against %s -> %s\n", inPath.c_str(), refPath.c_str(), outPath.c_str());
  if (example)
    printf("  example    synthesised speech-like reference and music-like input (see --help)\n");
  printf("  plug-in    %s, %s processing, %d-frame blocks\n", options.plugin.c_str(),
         options.singlePrecision ? "32-bit" : "64-bit", r.blockSize);
  printf("  audio      %.2f s, %d Hz, %s in, %s out, %s\n", audioSeconds, r.rate,
         ChannelsText(ii.channels).c_str(), ChannelsText(oi.channels).c_str(),
         DescribeFormat(oi.format).c_str());
  if (!formatNote.empty()) printf("  note       %s\n", formatNote.c_str());
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
           Seconds(lagSeconds).c_str());
  if (follow.blocks > 0)
    printf("  following  output vs reference from %s on: mean |difference| %.2f LU, max %.2f LU "
           "(at %s), over %d blocks above -70 LUFS\n",
           Seconds(firstCompared * blockSeconds).c_str(), follow.meanAbs, follow.maxAbs,
           Seconds(follow.worstSeconds).c_str(), follow.blocks);
  else
    printf("  following  no blocks to compare (output or reference below -70 LUFS after %s)\n",
           Seconds(firstCompared * blockSeconds).c_str());
  const double speed = r.wallSeconds > 0 ? audioSeconds / r.wallSeconds : 0.0;
  const double pluginSpeed = r.pluginSeconds > 0 ? audioSeconds / r.pluginSeconds : 0.0;
  printf("  speed      %.0fx real time (%.3f s for %.2f s of audio; the plug-in alone %.0fx)\n",
         speed, r.wallSeconds, audioSeconds, pluginSpeed);
  std::string params;
  for (const std::string& p : r.finalParams)
    params += (params.empty() ? "" : ", ") + p;
  printf("  parameters %s\n", params.c_str());
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
  printf("  wrote      %s", outPath.c_str());
  if (!noPlot) printf(", %s", plotPath.c_str());
  if (wroteState) printf(", %s", options.saveState.c_str());
  if (options.screenshot) printf(", %s", screenshotPath.c_str());
  printf("\n");
  return 0;
}
