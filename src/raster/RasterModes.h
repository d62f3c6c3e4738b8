#pragma once
// The ways a picture is engraved besides its colour levels: dithered at one
// power, or in bands of gray whose power follows the gray. Both sample the
// picture once per focus spot, as the colour levels do, and burn scan-line
// runs of neighbouring dark samples.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Geometry.h"
#include "core/RasterSettings.h"

class QImage;
class TLevels;

// Names as brennix-cli takes them and the job dump writes them.
std::string_view RasterModeName(TRasterMode mode);
std::optional<TRasterMode> RasterModeByName(std::string_view name);
std::string_view DitherKernelName(TDitherKernel kernel);
std::optional<TDitherKernel> DitherKernelByName(std::string_view name);
// Every name, separated by ", ", for messages.
std::string RasterModeNames();
std::string DitherKernelNames();

// Why the settings cannot be used ("gray levels must be 2 to 64"), or empty.
std::string RasterSettingsProblem(const TRasterSettings &settings);

// The lightness (CIE L* / 100: 0 black, 1 white) of a colour's red, green and
// blue; pure white is exactly 1.
float Lightness(std::uint32_t argb);
// Contrast, brightness and gamma applied, held to 0..1; white (1) stays white,
// since the bare material is never burnt.
float AdjustTone(float lightness, const TRasterSettings &settings);

// One byte per sample, row by row from the top: 1 burns, 0 does not.
// lightness holds width x height samples in 0..1; error diffusion runs
// serpentine; white samples never burn and pass no error on.
std::vector<std::uint8_t> Dither(const std::vector<float> &lightness, int width, int height,
                                 TDitherKernel kernel);

// The gray band of a lightness, 0 the lightest of bands bands; -1 for white.
int GrayBand(float lightness, int bands);
// The power of a band: the curve taken at the band's middle darkness.
std::int32_t BandPower(int band, const TRasterSettings &settings);

// Scan-line runs per label: labels holds width x height entries row by row
// from the top (-1: nothing), and each horizontal run of one label becomes
// one segment of that label's paths, rows bottom to top, one focus apart,
// each run a third of a focus shorter at both ends (as the colour levels are).
std::vector<TPaths> ScanRuns(const std::vector<std::int16_t> &labels, int width, int height,
                             std::int32_t focus, int labelCount);

// How far the head runs on with the laser off at each end of a scan line so
// that it burns at full speed: v^2 / (2 a) for speed (hundredths of mm/s) and
// acceleration (mm/s^2), else the fixed length; millimetres, never negative.
double OverscanLength(std::int32_t speed, double acceleration, double fixedMM);

// The levels' inputs for the current output size, focus and mirroring in the
// settings' mode (not colour levels): the dithered level or the bands in list
// order. Returns early when a new cycle is requested meanwhile, as
// VectorizeRaster does.
void VectorizeRasterMode(TLevels &levels, const TRasterSettings &settings);

// Replaces a loaded picture's colour levels by the mode's levels (one
// "Dithered" level, or one per gray band with the curve's power) and makes the
// cycle rebuild them. Colour levels and drawings other than pictures are left
// as they are: returns false then.
bool ApplyRasterMode(TLevels &levels, const TRasterSettings &settings);

// Makes the G-code run on at both ends of a picture's scan lines when the
// settings ask for it, in any mode, colour levels too; or not.
void ApplyRasterOverscan(TLevels &levels, const TRasterSettings &settings);

// The settings as "mode=dithered kernel=stucki ..." for the job dump.
std::string RasterSettingsText(const TRasterSettings &settings);
