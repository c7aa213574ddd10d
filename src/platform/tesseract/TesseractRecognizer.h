#pragma once

#include "platform/TextRecognizer.h"

// Text recognition with Tesseract 5: LSTM engine, English, dictionaries off.
//
// The object itself holds only settings; each thread that recognises gets its
// own engine, initialised on its first call and reused for the life of the
// thread (a TessBaseAPI must not be shared between threads). Warm the engine
// on the thread that will do the reading (ScreenTextReader::prime).
//
// Tesseract's LSTM code uses OpenMP, whose spinning helper threads cost far
// more than they give on a machine of few cores: the first engine started
// makes every OpenMP region of the process run on its calling thread alone.
namespace platform {

class TesseractRecognizer final : public TextRecognizer {
  public:
    struct Settings {
        int pageSegMode;        // tesseract::PageSegMode
        int resolution;         // dots per inch reported to the engine
        double leastConfidence; // words below this mean confidence (0..100) are dropped
        int margin;             // pixels of the page's background added round the image
        bool repairBlanks;      // drop invented blanks, restore underscores read as blanks (Blanks.h)
    };
    // The settings chosen by measurement (see TesseractRecognizer.cpp).
    static Settings defaultSettings();

    TesseractRecognizer() : settings_(defaultSettings()) {}
    explicit TesseractRecognizer(Settings settings) : settings_(settings) {}

    QList<Observation> recognize(const QImage& image) const override;

    // Whether an engine can be started on this thread (English model present).
    static bool available();

  private:
    Settings settings_;
};

} // namespace platform
