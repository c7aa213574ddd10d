#pragma once

#include "platform/ScreenCapture.h"
#include "platform/TextRecognizer.h"
#include "screen/ScreenReader.h"

#include <memory>

// The screen reader the agent uses: the strip round the pointer captured
// under the time limit, read by a recogniser that keeps one warmed engine per
// thread, and the reference under the pointer chosen and resolved.
class RecognizingScreenReader final : public ScreenReader {
  public:
    RecognizingScreenReader(std::shared_ptr<platform::ScreenCapture> capture,
                            std::shared_ptr<const platform::TextRecognizer> recognizer);

    void prime() override;
    bool ensurePermission() override;
    std::optional<QUrl> imageReference(QPointF at, const ResolutionContext& context, bool verbose) override;
    qint64 stalls() override;
    void setOwnWindows(const QList<QRectF>& frames) override;

  private:
    std::shared_ptr<platform::ScreenCapture> capture_;
    std::shared_ptr<const platform::TextRecognizer> recognizer_;
};
