#include "screen/RecognizingScreenReader.h"

#include "screen/Capture.h"
#include "screen/OwnWindows.h"
#include "screen/Prime.h"
#include "screen/Recognizing.h"

RecognizingScreenReader::RecognizingScreenReader(std::shared_ptr<platform::ScreenCapture> capture,
                                                 std::shared_ptr<const platform::TextRecognizer> recognizer)
    : capture_(std::move(capture)), recognizer_(std::move(recognizer)) {}

void RecognizingScreenReader::prime() {
    ScreenTextReader::prime(*recognizer_);
}

bool RecognizingScreenReader::ensurePermission() {
    return ScreenTextReader::ensurePermission(capture_);
}

std::optional<QUrl> RecognizingScreenReader::imageReference(QPointF at, const ResolutionContext& context,
                                                            bool verbose) {
    return ScreenTextReader::imageReference(capture_, *recognizer_, at, context, verbose);
}

qint64 RecognizingScreenReader::stalls() {
    return ScreenTextReader::stalls();
}

void RecognizingScreenReader::setOwnWindows(const QList<QRectF>& frames) {
    ScreenTextReader::setOwnWindows(frames);
}
