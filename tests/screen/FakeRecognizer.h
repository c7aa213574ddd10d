#pragma once

#include "platform/TextRecognizer.h"

#include <stdexcept>

// A recogniser that answers what the test tells it (or throws).
class FakeRecognizer final : public platform::TextRecognizer {
  public:
    QList<platform::Observation> answer;
    bool throws = false;
    mutable QImage seen; // the last image asked about

    QList<platform::Observation> recognize(const QImage& image) const override {
        seen = image;
        if (throws) throw std::runtime_error("engine failed");
        return answer;
    }
};
