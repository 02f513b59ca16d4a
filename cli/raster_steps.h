#pragma once
// Raster clean-up before a trace, as the desktop program's raster menu does
// it: resample, median, template, brightness/contrast, colour replace,
// rotate, deskew, crop, flip, mirror, invert, threshold and hole filling.
// The steps run in the order the command line gives them, each through the
// library's own operation, so `quillon raster` writes exactly the raster that
// `quillon trace` with the same steps traces.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "raster/resample.h"
#include "raster/template_filter.h"
#include "settings/color.h"
#include "settings/trace_option.h"

namespace CLI {
class App;
}
namespace quillon::platform {
class KeyValueStore;
}
namespace quillon::raster {
class CRaster;
}

namespace quillon::cli {

struct DynamicThreshold {
  int box = 200;
  float ratio = 0.65f;
};
// "dynamic" or "dynamic:BOX,RATIO" (box 50..200 pixels, ratio 0.20..8.00):
// "" when the text is one, else the reason it is not.
std::string ParseDynamicThreshold(const std::string& text, DynamicThreshold& out);
// "N" (0..255) sets the level and clears automatic; "auto" sets automatic.
// False, record unchanged, for anything else.
bool ApplyThreshold(const std::string& text, settings::TraceOption& record);

class RasterSteps {
 public:
  // Declares the step options on the command. --threshold is declared with
  // the trace parameters; Collect finds it in the line all the same.
  void AddOptions(CLI::App& command);
  // After a successful parse: the steps in the order of the line. A
  // --threshold becomes a step (so later steps see a 1-bit image) when it is
  // dynamic, other steps follow it, or keepThreshold is set. --brightness
  // and --contrast form one step at the place of the first of them.
  void Collect(const CLI::App& command, bool keepThreshold = false);
  // Looks up the named templates in the stored library; the reason when one
  // does not exist.
  Status ResolveTemplates(const platform::KeyValueStore& store);
  bool empty() const { return steps_.empty(); }

  // Runs the steps on the image; `record` gives the threshold used when a
  // step needs a 1-bit image first (hole filling). onStep hears each step's
  // name before it runs. Fails with a reason naming the step; the image may
  // then be partly processed (callers discard it).
  Status Apply(raster::CRaster& image, const settings::TraceOption& record,
               const std::function<void(std::string_view)>& onStep = {}) const;

 private:
  enum class Kind {
    Resample, Median, Template, BrightnessContrast, ReplaceColour, Rotate, Deskew, Crop, Flip, Mirror, Invert,
    Threshold, DynamicThreshold, FillHoles
  };
  struct Step {
    Kind kind;
    std::string option;  // the option as written in messages ("--median")
    std::string text;    // its value ("" for flags)
  };
  Status ApplyOne(const Step& step, raster::CRaster& image, const settings::TraceOption& record) const;

  std::vector<Step> steps_;
  std::vector<raster::KernelTemplate> templates_;  // resolved, in the order of the --template steps
  int brightness_ = 0;
  int contrast_ = 0;
};

// The angle in degrees (positive clockwise on screen, within +-20) by which
// the image's dominant straight lines are turned away from horizontal:
// rotating the image by its negative straightens them. The angle maximises
// the sharpness (sum of squared bin counts) of the projection of the ink
// pixels across the lines, searched coarsely and then finely. 0 for an image
// without ink. Grey and colour images are measured at their automatic
// threshold.
double DominantLineAngle(const raster::CRaster& image);

}  // namespace quillon::cli
