#include "tools/render/AudioFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define ZT_GETPID _getpid
#else
#include <unistd.h>
#define ZT_GETPID getpid
#endif

namespace fs = std::filesystem;

namespace {

struct NamedFormat {
  const char* name;
  int code;
  const char* text;
};

constexpr NamedFormat kMajors[] = {
    {"wav", SF_FORMAT_WAV, "WAV"},     {"flac", SF_FORMAT_FLAC, "FLAC"},
    {"aiff", SF_FORMAT_AIFF, "AIFF"},  {"aif", SF_FORMAT_AIFF, "AIFF"},
    {"wavex", SF_FORMAT_WAVEX, "WAV"}, {"w64", SF_FORMAT_W64, "W64"},
    {"caf", SF_FORMAT_CAF, "CAF"},     {"ogg", SF_FORMAT_OGG, "Ogg"},
    {"rf64", SF_FORMAT_RF64, "RF64"},
};

constexpr NamedFormat kSubtypes[] = {
    {"pcm16", SF_FORMAT_PCM_16, "16-bit"},  {"pcm24", SF_FORMAT_PCM_24, "24-bit"},
    {"pcm32", SF_FORMAT_PCM_32, "32-bit"},  {"float", SF_FORMAT_FLOAT, "float"},
    {"double", SF_FORMAT_DOUBLE, "double"}, {"pcm8", SF_FORMAT_PCM_S8, "8-bit"},
    {"u8", SF_FORMAT_PCM_U8, "8-bit"},      {"vorbis", SF_FORMAT_VORBIS, "Vorbis"},
};

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsIntegerSubtype(int subtype) {
  switch (subtype) {
  case SF_FORMAT_PCM_S8:
  case SF_FORMAT_PCM_U8:
  case SF_FORMAT_PCM_16:
  case SF_FORMAT_PCM_24:
  case SF_FORMAT_PCM_32:
    return true;
  default:
    return false;
  }
}

std::string SystemMessage(const std::error_code& ec) {
  return ec.message();
}

// libsndfile's open errors say "System error : No such file or directory." and the like; one
// line without the trailing full stop reads better after the file name.
std::string Tidy(const char* message) {
  std::string s = message ? message : "unknown error";
  while (!s.empty() && (s.back() == '.' || s.back() == '\n' || s.back() == ' '))
    s.pop_back();
  const std::string prefix = "System error : ";
  if (s.rfind(prefix, 0) == 0) s = s.substr(prefix.size());
  std::replace(s.begin(), s.end(), '\n', ' ');
  return s;
}

} // namespace

namespace {

// A format's text from our table, else libsndfile's own name for it, else `unknown`.
std::string FormatText(int code, const NamedFormat* table, size_t count, const char* unknown) {
  for (size_t i = 0; i < count; ++i)
    if (table[i].code == code) return table[i].text;
  SF_FORMAT_INFO info{};
  info.format = code;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
    return info.name;
  return unknown;
}

std::string MajorName(int format) {
  return FormatText(format & SF_FORMAT_TYPEMASK, kMajors, std::size(kMajors), "an unknown format");
}

std::string SubtypeName(int format) {
  return FormatText(format & SF_FORMAT_SUBMASK, kSubtypes, std::size(kSubtypes),
                    "unknown encoding");
}

} // namespace

std::string DescribeFormat(int format) {
  if ((format & SF_FORMAT_SUBMASK) == 0) return MajorName(format);
  return MajorName(format) + " " + SubtypeName(format);
}

std::string TemporaryNameFor(const std::string& path) {
  return path + ".zt-render-" + std::to_string(ZT_GETPID()) + ".part";
}

// --- reading ---

AudioReader::~AudioReader() {
  if (file_) sf_close(file_);
}

bool AudioReader::Open(const std::string& path, std::string* error) {
  path_ = path;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    *error = "cannot read '" + path + "': no such file";
    return false;
  }
  if (fs::is_directory(status)) {
    *error = "cannot read '" + path + "': it is a folder";
    return false;
  }
  SF_INFO sfinfo{};
  file_ = sf_open(path.c_str(), SFM_READ, &sfinfo);
  if (!file_) {
    *error = "cannot read '" + path + "': " + Tidy(sf_strerror(nullptr));
    return false;
  }
  info_.frames = sfinfo.frames;
  info_.rate = sfinfo.samplerate;
  info_.channels = sfinfo.channels;
  info_.format = sfinfo.format;
  if (info_.rate <= 0 || info_.channels <= 0) {
    *error = "cannot read '" + path + "': no audio in it";
    return false;
  }
  // Float files that are not normalised still read as they are; integer ones as -1..1.
  sf_command(file_, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
  return true;
}

int64_t AudioReader::Read(double* interleaved, int64_t frames) {
  if (!file_ || frames <= 0) return 0;
  const sf_count_t got = sf_readf_double(file_, interleaved, frames);
  if (got <= 0) return 0;
  const int64_t samples = got * info_.channels;
  for (int64_t i = 0; i < samples; ++i)
    if (!std::isfinite(interleaved[i])) {
      interleaved[i] = 0.0;
      ++nonFinite_;
    }
  return got;
}

std::string AudioReader::Error() const {
  if (!file_) return "not open";
  if (sf_error(file_) == SF_ERR_NO_ERROR) return {};
  return "cannot read '" + path_ + "': " + Tidy(sf_strerror(file_));
}

// --- writing ---

AudioWriter::~AudioWriter() {
  Abandon();
}

bool AudioWriter::Open(const std::string& path, const AudioInfo& info, std::string* error) {
  path_ = path;
  temp_ = TemporaryNameFor(path);
  channels_ = info.channels;
  integerFormat_ = IsIntegerSubtype(info.format & SF_FORMAT_SUBMASK);
  std::error_code ec;
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec)) {
    *error = "cannot write '" + path + "': no folder '" + parent.string() + "'";
    return false;
  }
  if (fs::is_directory(path, ec)) {
    *error = "cannot write '" + path + "': it is a folder";
    return false;
  }
  SF_INFO sfinfo{};
  sfinfo.samplerate = info.rate;
  sfinfo.channels = info.channels;
  sfinfo.format = info.format;
  if (!sf_format_check(&sfinfo)) {
    *error = "cannot write '" + path + "' as " + DescribeFormat(info.format) + " with " +
             std::to_string(info.channels) + " channel(s) at " + std::to_string(info.rate) + " Hz";
    return false;
  }
  file_ = sf_open(temp_.c_str(), SFM_WRITE, &sfinfo);
  if (!file_) {
    *error = "cannot write '" + path + "': " + Tidy(sf_strerror(nullptr));
    fs::remove(temp_, ec);
    return false;
  }
  // Integer formats: clip what lies beyond full scale instead of letting it wrap around.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  sf_command(file_, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
  return true;
}

bool AudioWriter::Write(const double* interleaved, int64_t frames, std::string* error) {
  if (!file_) {
    *error = "cannot write '" + path_ + "': not open";
    return false;
  }
  if (integerFormat_) {
    const int64_t samples = frames * channels_;
    for (int64_t i = 0; i < samples; ++i)
      if (std::fabs(interleaved[i]) > 1.0) ++clipped_;
  }
  const sf_count_t put = sf_writef_double(file_, interleaved, frames);
  if (put != frames) {
    *error = "cannot write '" + path_ + "': " + Tidy(sf_strerror(file_));
    return false;
  }
  return true;
}

bool AudioWriter::Commit(std::string* error) {
  if (!file_) {
    *error = "cannot write '" + path_ + "': not open";
    return false;
  }
  sf_write_sync(file_);
  const int rc = sf_close(file_);
  file_ = nullptr;
  if (rc != 0) {
    *error = "cannot write '" + path_ + "': " + Tidy(sf_error_number(rc));
    Abandon();
    return false;
  }
  std::error_code ec;
  fs::rename(temp_, path_, ec);
  if (ec) {
    *error = "cannot write '" + path_ + "': " + SystemMessage(ec);
    Abandon();
    return false;
  }
  temp_.clear();
  return true;
}

void AudioWriter::Abandon() {
  if (file_) {
    sf_close(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    std::error_code ec;
    fs::remove(temp_, ec);
    temp_.clear();
  }
}

// --- formats ---

namespace {

const NamedFormat* FindNamed(const std::string& name, const NamedFormat* table, size_t count) {
  const std::string want = Lower(name);
  for (size_t i = 0; i < count; ++i)
    if (want == table[i].name) return &table[i];
  return nullptr;
}

// The container: the one named, else the one the output's extension names, else the input's.
bool ChooseMajor(const std::string& outputPath, int inputFormat, const std::string& formatName,
                 int* major, std::string* error) {
  const int inputMajor = inputFormat & SF_FORMAT_TYPEMASK;
  *major = inputMajor;
  if (!formatName.empty()) {
    const NamedFormat* found = FindNamed(formatName, kMajors, std::size(kMajors));
    if (!found) {
      *error = "--format must be wav, flac or aiff, got '" + formatName + "'";
      return false;
    }
    *major = found->code;
    return true;
  }
  std::string ext = Lower(fs::path(outputPath).extension().string());
  if (!ext.empty()) ext.erase(0, 1);
  for (const NamedFormat& m : kMajors)
    if (ext == m.name && m.code != inputMajor &&
        !(m.code == SF_FORMAT_WAV && inputMajor == SF_FORMAT_WAVEX))
      *major = m.code;
  return true;
}

} // namespace

bool ChooseOutputFormat(const std::string& outputPath, int inputFormat,
                        const std::string& formatName, const std::string& subtypeName, int channels,
                        int rate, int* format, std::string* note, std::string* error) {
  note->clear();
  int major = 0;
  if (!ChooseMajor(outputPath, inputFormat, formatName, &major, error)) return false;
  auto fits = [&](int subtype) {
    SF_INFO probe{};
    probe.samplerate = rate;
    probe.channels = channels;
    probe.format = major | subtype;
    return sf_format_check(&probe) != 0;
  };

  int subtype = inputFormat & SF_FORMAT_SUBMASK;
  if (!subtypeName.empty()) {
    const NamedFormat* found = FindNamed(subtypeName, kSubtypes, std::size(kSubtypes));
    if (!found) {
      *error = "--subtype must be pcm16, pcm24, pcm32, float or double, got '" + subtypeName + "'";
      return false;
    }
    subtype = found->code;
    if (!fits(subtype)) {
      *error = "cannot write " + DescribeFormat(major | subtype) + " files";
      return false;
    }
  } else if (!fits(subtype)) {
    // The input's encoding does not exist in the chosen format (float into FLAC, say): take the
    // richest one that does.
    const int fallbacks[] = {SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS};
    const int* chosen = std::find_if(std::begin(fallbacks), std::end(fallbacks), fits);
    if (chosen == std::end(fallbacks)) {
      *error = "cannot write " + DescribeFormat(major) + " files with " + std::to_string(channels) +
               " channel(s) at " + std::to_string(rate) + " Hz";
      return false;
    }
    *note = "output written as " + DescribeFormat(major | *chosen) + ": " + MajorName(major) +
            " has no " + SubtypeName(inputFormat) + " encoding";
    subtype = *chosen;
  }
  *format = major | subtype;
  return true;
}

// --- whole files ---

bool WriteFileAtomically(const std::string& path, const void* data, size_t bytes,
                         std::string* error) {
  const std::string temp = TemporaryNameFor(path);
  FILE* f = fopen(temp.c_str(), "wb");
  if (!f) {
    *error = "cannot write '" + path + "': " + strerror(errno);
    return false;
  }
  const bool wrote = fwrite(data, 1, bytes, f) == bytes;
  const bool closed = fclose(f) == 0;
  std::error_code ec;
  if (!wrote || !closed) {
    *error = "cannot write '" + path + "': " + strerror(errno);
    fs::remove(temp, ec);
    return false;
  }
  fs::rename(temp, path, ec);
  if (ec) {
    *error = "cannot write '" + path + "': " + SystemMessage(ec);
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool ReadSmallFile(const std::string& path, size_t maxBytes, std::string* bytes,
                   std::string* error) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    *error = "cannot read '" + path + "': no such file";
    return false;
  }
  if (fs::is_directory(path, ec)) {
    *error = "cannot read '" + path + "': it is a folder";
    return false;
  }
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot read '" + path + "': " + strerror(errno);
    return false;
  }
  bytes->clear();
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
    bytes->append(buf, n);
    if (bytes->size() > maxBytes) {
      fclose(f);
      *error = "'" + path + "' is too large to be a state file";
      return false;
    }
  }
  const bool failed = ferror(f) != 0;
  fclose(f);
  if (failed) {
    *error = "cannot read '" + path + "': read error";
    return false;
  }
  return true;
}
