#pragma once
// The render's picture: momentary loudness curves over time, drawn with cairo into a PNG.

#include <string>
#include <vector>

struct PlotCurve {
  std::string label;
  const std::vector<double>* values = nullptr; // one LUFS value per block; -inf leaves a gap
  double r = 0, g = 0, b = 0;
  double width = 2.0;
  bool dashed = false;
  int offsetBlocks = 0; // value k is drawn at block k + offsetBlocks
};

struct PlotSpec {
  std::string title;
  std::string subtitle; // one line under the title, may be empty
  double blockSeconds = 0.0;
  int blocks = 0; // length of the time axis in blocks
  std::vector<PlotCurve> curves;
};

// Writes the PNG through a temporary file and a rename; false with a reason on failure.
bool WritePlot(const std::string& path, const PlotSpec& desc, std::string* error);
