// The correction pipeline: colour offsets and the two-segment tone curve applied to the 24-bit
// pixels of the current picture, in integer arithmetic, and the automatic levels found from the
// picture's histogram.
#pragma once

#include "correction/settings.h"

#include <QImage>

#include <array>
#include <cstdint>

namespace platform {
class ImageControl;
}

// What a drawing applies. Any other value behaves as InputTimeOnly.
enum CorrectionMode : int {
    InputTimeOnly = 0,   // the corrections set to act at input time
    BothCorrections = 1, // both, whenever they act
    ToneOnly = 2,
    ColourOnly = 3,
};

// When true, DrawCorrected copies the corrected pixels back into CurrentDib (the print job).
extern bool WriteBack;

// The tone curve's points in tenths of a level step: CurveLow goes to 0, CurveMid to 128,
// CurveHigh to 255. Recomputed by every DrawCorrected and by FindAutoLevels.
extern int32_t CurveLow;
extern int32_t CurveMid;
extern int32_t CurveHigh;

// The histogram of the last automatic-level sampling, and the number of samples the loss rates
// are measured against (64 bits: all bytes of a huge bitmap count).
extern std::array<int32_t, 256> LevelHistogram;
extern int64_t LevelSampleCount;

// Corrects the current picture (CurrentDib when it is held as a DIB, else source) into a private
// copy and draws it at the top-left corner of target's picture, over white. Nothing at all when
// the picture is not Correctable.
void DrawCorrected(const QImage& source, platform::ImageControl& target, int mode);

// What DrawCorrected with WriteBack set does to CurrentDib, without drawing it anywhere: the
// picture corrected where it lies (the print job, which prints CurrentDib itself).
void CorrectHeldPicture(int mode);
// The input-time corrections, in place, on the rows of a 24-bit DIB about to be saved or copied,
// with the curve of the last drawing.
void CorrectDibForExport(uint8_t* pixels, int32_t width, int32_t height);

// The pass over bottom-up 24-bit rows padded to 4 bytes: per byte the colour shift, then the
// tone curve, as the flags say.
void CorrectPixels(uint8_t* pixels, int32_t width, int32_t height, bool tone, bool colour);

// One byte of channel 0 (blue), 1 (green) or 2 (red) moved by its offset; clamped to 0..255.
void ShiftColourSample(uint8_t& value, int channel);
// One byte through the tone curve.
void MapToneSample(uint8_t& value);

// The curve points from Hitone, Midtone and Lowtone.
void SetManualCurve();
// The curve points from LevelHistogram, LevelSampleCount and the loss rates.
void FindAutoLevels();
// Fill LevelHistogram and LevelSampleCount from the central part of a picture, then
// FindAutoLevels: from a 24-bit DIB the average of each pixel's three bytes, from a bitmap
// every byte of its pixels.
void SampleDibLevels(const uint8_t* pixels, int32_t width, int32_t height);
void SampleBitmapLevels(const QImage& bitmap);
