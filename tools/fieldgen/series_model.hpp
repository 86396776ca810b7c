#pragma once
// A series of frames of one synthetic field, as a camera on a telescope takes them:
// per frame the exposure, the pointing (an affine map of frame-1 pixel coordinates),
// the seeing, the sky, the transparency and the way the time is written in the header.

#include <cstdint>
#include <string>
#include <vector>

#include "field_model.hpp"

namespace fieldgen {

enum class TimeConvention {
  DateObs,     // DATE-OBS 'YYYY-MM-DDThh:mm:ss.sss', UTC, start
  DateTimeObs, // DATE-OBS 'YYYY-MM-DD' and TIME-OBS 'hh:mm:ss.sss', UTC, start
  DateObsZone, // DATE-OBS local time with a zone offset ('...-0700'), start
  MjdObs,      // MJD-OBS, start
  JdStart,     // JD, start
  JuldatMid,   // JULDAT, middle of the exposure
};
const char* ConventionName(TimeConvention c);

// How the frames look when a real camera takes them. With every option at its default
// the series is the classic one; any option switches to the camera model: the profile
// integrated over each pixel, true Poisson noise, hot pixels that stars cross, cosmic
// rays that also hit stars, and a truth file with every star's flux per frame.
struct CameraOptions {
  double fwhmMin = 2.0, fwhmMax = 4.0; // seeing drawn uniformly in this range, pixels
  int bits = 16;                       // 12: the ADC clips at 4095
  bool saturateCard = true;
  bool quietSky = false;        // a few electrons of sky, low read noise, a bias pedestal
  bool brightNeighbour = false; // a star 50x brighter near one star's sky annulus
  bool defects = true;          // hot pixels and cosmic rays
  bool fwhmGiven = false;
  bool Real() const { return fwhmGiven || bits != 16 || !saturateCard || quietSky || brightNeighbour || !defects; }
  double Ceiling() const { return bits == 12 ? 4095.0 : 65535.0; }
};

struct HotPixel {
  int x = 0, y = 0;  // detector pixel, 0-based
  double rate = 0.0; // ADU per second of exposure
};

struct CosmicHit {
  int x = 0, y = 0;
  double adu = 0.0;
};

struct SeriesFrame {
  std::string file;                                // file name inside the series folder
  long long startMs = 0;                           // UTC start of the exposure, milliseconds since 1970-01-01
  double exptime = 0.0;                            // seconds
  double jdMid = 0.0;                              // UTC Julian Date at mid-exposure
  double a = 1, b = 0, c = 0, d = 0, e = 1, f = 0; // x' = a x + b y + c, y' = d x + e y + f
  double fwhm = 3.0;                               // pixels
  double sky = 300.0;                              // ADU per pixel at the centre of the frame
  double gradX = 0, gradY = 0;                     // relative change of the sky from one edge to the other
  double transparency = 1.0;
  TimeConvention convention = TimeConvention::DateObs;
  std::vector<double> mags;       // true magnitude of each star (element id - 1)
  std::vector<CosmicHit> cosmics; // camera model only: this frame's cosmic-ray pixels
};

struct Series {
  Field field;
  int width = 0, height = 0;
  double zeroPoint = 19.0; // electrons per second from a star of this magnitude
  double gain = 1.5;       // electrons per ADU
  double readNoise = 8.0;  // electrons
  double saturate = 60000.0;
  std::vector<double> mags;                // mean magnitude of each star
  std::vector<std::string> kinds;          // constant|eclipsing|pulsating|irregular|saturated
  int saturatedId = 0;                     // 1-based; 0 when none
  int flippedFrame = -1, cloudyFrame = -1; // 0-based frame numbers; -1 when none
  std::vector<SeriesFrame> frames;
  CameraOptions camera;
  double pedestal = 0.0;                // ADU added to every pixel (camera model, quiet sky)
  std::vector<HotPixel> hotPixels;      // camera model only: the sensor's, fixed on the detector
  int neighbourId = 0, neighbourOf = 0; // the bright neighbour and the star it crowds
};

// The field of the options and the conditions of each of its frames; prefix names the
// frame files (prefix_0001.fits, ...).
Series MakeSeries(const FieldOptions& options, const std::string& prefix, const CameraOptions& camera = {});

// Julian Date of a UTC instant given in milliseconds since 1970-01-01.
double JulianDateOfMs(long long ms);

} // namespace fieldgen
