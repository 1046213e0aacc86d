#include "ui/waveform_view.h"

#include <QPainter>
#include <algorithm>

#include "platform/message_sink.h"

namespace kws {
namespace {

constexpr int kSampleScale = 128;             // sample value per pixel
constexpr int kSampleStride = 5;              // every fifth sample of a column is drawn
constexpr std::size_t kMarkedSamples = 3200;  // shorter utterances get no marks or texts

}  // namespace

WaveformView::WaveformView(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setAutoFillBackground(true);
}

void WaveformView::set_mode(int mode) {
  mode_ = mode;
  update();
}

void WaveformView::set_calibration_buffer(std::vector<std::int16_t> samples) {
  calibration_ = std::move(samples);
  update();
}

void WaveformView::set_utterance(std::vector<std::int16_t> samples, std::int32_t trimmed_start,
                                 std::int32_t trimmed_end, const PassTimes& times) {
  utterance_ = std::move(samples);
  trimmed_start_ = trimmed_start;
  trimmed_end_ = trimmed_end;
  times_ = times;
  update();
}

void WaveformView::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  const std::vector<std::int16_t>* source = nullptr;
  if (mode_ == kModeCalibrating) source = &calibration_;
  if (mode_ == kModeRecognising) source = &utterance_;
  if (source == nullptr) return;

  const QRect area = contentsRect();
  QPainter painter(this);
  painter.translate(area.topLeft());
  painter.setClipRect(0, 0, area.width(), area.height());
  const int w = area.width();
  const int h = area.height();
  const std::size_t n = source->size();
  const int mid = h / 2;
  const std::size_t step = w > 0 ? n / static_cast<std::size_t>(w) : 0;
  const QPen red(QColor(255, 0, 0), 1);
  const QPen blue(QColor(0, 0, 255), 1);

  painter.setPen(red);
  painter.drawLine(0, mid, w, mid);
  painter.setPen(blue);
  if (step > 0) {
    for (int x = 0; x < w; ++x) {
      const std::size_t p = static_cast<std::size_t>(x) * step;
      const std::size_t count = (step + kSampleStride - 1) / kSampleStride;
      for (std::size_t k = 0; k < count && p + k * kSampleStride < n; ++k) {
        const int v = std::clamp((*source)[p + k * kSampleStride] / kSampleScale, -mid, mid);
        painter.drawLine(x, mid, x, mid - v);
      }
    }
  }

  // Step is at least 1 here: the marks divide by it.
  if (mode_ != kModeRecognising || n <= kMarkedSamples || step == 0) return;
  painter.setPen(red);
  for (const std::int32_t mark : {trimmed_end_, trimmed_start_}) {
    const int x = static_cast<int>(static_cast<std::size_t>(std::max(mark, 0)) / step);
    painter.drawLine(x, 0, x, 2 * mid);
  }
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(w - 50, mid - 30,
                   QString::fromStdString(format_text("%-3.2f秒", static_cast<double>(n) * 0.0000625)));
  painter.drawText(
      w - 200, mid + 30,
      QString::fromStdString(format_text(" %5.2f  %5.2f  %5.2f", (times_.forward_end - times_.start) * 0.001,
                                         (times_.verification_start - times_.start) * 0.001,
                                         (times_.verification_end - times_.start) * 0.001)));
}

}  // namespace kws
