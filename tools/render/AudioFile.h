#pragma once
// Audio files through libsndfile: a streaming reader, and a writer that never leaves a partial
// file under the final name (it writes a temporary file beside it and renames it when complete).

#include <cstdint>
#include <string>

#include <sndfile.h>

struct AudioInfo {
  int64_t frames = 0;
  int rate = 0;
  int channels = 0;
  int format = 0; // libsndfile major format | subtype
};

// "WAV float", "FLAC 24-bit" and the like, for messages and the summary.
std::string DescribeFormat(int format);

class AudioReader {
public:
  AudioReader() = default;
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  // Opens a file for reading; false with a one-line reason in *error (naming the file).
  bool Open(const std::string& path, std::string* error);
  const AudioInfo& Info() const { return info_; }
  // Reads up to `frames` interleaved frames; returns the frames read (0 at the end or on a read
  // error, which Error() then describes). Samples that are not finite are read as 0.0 and counted.
  int64_t Read(double* interleaved, int64_t frames);
  int64_t NonFiniteSamples() const { return nonFinite_; }
  std::string Error() const;

private:
  SNDFILE* file_ = nullptr;
  AudioInfo info_;
  int64_t nonFinite_ = 0;
  std::string path_;
};

class AudioWriter {
public:
  AudioWriter() = default;
  ~AudioWriter(); // an uncommitted file is abandoned: its temporary file is removed
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  // Starts writing `path` (rate, channels and format from `info`; frames is ignored). Nothing is
  // created under `path` itself until Commit().
  bool Open(const std::string& path, const AudioInfo& info, std::string* error);
  bool Write(const double* interleaved, int64_t frames, std::string* error);
  // Closes the temporary file and renames it to the final name, replacing an existing file.
  bool Commit(std::string* error);
  void Abandon();
  // Samples beyond full scale in an integer format, which libsndfile clipped.
  int64_t ClippedSamples() const { return clipped_; }

private:
  SNDFILE* file_ = nullptr;
  std::string path_, temp_;
  bool integerFormat_ = false;
  int channels_ = 0;
  int64_t clipped_ = 0;
};

// The output format: major format from `formatName` ("wav", "flac", "aiff"), else from the
// output file's extension when it names one of those, else the input's; subtype from
// `subtypeName` ("pcm16", "pcm24", "pcm32", "float", "double"), else the input's when the major
// format can hold it, else the nearest one it can. False with a reason for unknown names or a
// combination libsndfile cannot write. *note receives a remark when the subtype had to change.
bool ChooseOutputFormat(const std::string& outputPath, int inputFormat,
                        const std::string& formatName, const std::string& subtypeName, int channels,
                        int rate, int* format, std::string* note, std::string* error);

// Writes a whole byte buffer to `path` through a temporary file and a rename.
bool WriteFileAtomically(const std::string& path, const void* data, size_t bytes,
                         std::string* error);
// Reads a whole (small) file; false with a reason when it is missing, unreadable or larger than
// maxBytes.
bool ReadSmallFile(const std::string& path, size_t maxBytes, std::string* bytes,
                   std::string* error);

// A temporary name in the same folder as `path`, unique to this process.
std::string TemporaryNameFor(const std::string& path);
