// Opens the preview of a 1 MiB BMP and of a 10 s 44.1 kHz stereo WAV, each until its picture or
// waveform is drawn, and steps the open preview through a folder of 1,000 pictures with the
// current entry. The peer is QImage decoding and drawing the same BMP alone. Run with
// QT_QPA_PLATFORM=offscreen.
#include "bench/OneArchiveServices.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaveSamples.h"
#include "ui/ExtractorDlg.h"
#include "ui/preview/PictureView.h"
#include "ui/preview/PreviewController.h"
#include "ui/preview/PreviewWindow.h"
#include "ui/preview/WaveformView.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QListView>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

double medianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string bmp(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x + seed) & 255, (y * 3) & 255, (x ^ y) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::TempDir dir;
    testsupport::ArchiveImage image;
    const std::string bigPicture = bmp(592, 590, 0); // 3 bytes a pixel: about 1 MiB
    image.add("BIG.BMP", bigPicture);
    testsupport::WaveImage wave;
    wave.samples = testsupport::sineSamples16(44100, 2, 10.0);
    image.add("LONG.WAV", wave.bytes());
    for (int i = 0; i < 1000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "PICS\\P%04d.BMP", i);
        image.add(name, bmp(160, 120, i));
    }
    testsupport::writeFile(dir / "GAME00.DAT", image.bytes());

    CExtractorDlg dlg(nullptr, new OneArchive(QString::fromStdString(dir / "GAME00.DAT")));
    dlg.show();
    dlg.findChild<QPushButton*>("IDC_LOAD")->click();
    QApplication::processEvents();
    PreviewController* controller = dlg.findChild<PreviewController*>();
    PreviewWindow* window = controller->window();
    QListView* view = dlg.entryListView();
    const auto rowOf = [&](const QString& name) {
        for (int row = 0; row < view->model()->rowCount(); ++row)
            if (view->model()->index(row, 0).data().toString() == name)
                return row;
        return -1;
    };

    const int bigRow = rowOf(QStringLiteral("BIG.BMP"));
    const double pictureMs = medianMs(9, [&] {
        controller->openPreview(bigRow);
        window->pictureView()->repaint();
    });
    QImage canvas(window->pictureView()->size(), QImage::Format_RGB32);
    const QByteArray bigBytes = QByteArray::fromStdString(bigPicture);
    const double peerMs = medianMs(9, [&] {
        const QImage decoded = QImage::fromData(bigBytes, "BMP");
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(window->pictureView()->targetRect(), decoded);
    });
    const int soundRow = rowOf(QStringLiteral("LONG.WAV"));
    const double soundMs = medianMs(9, [&] {
        controller->openPreview(soundRow);
        window->waveformView()->repaint();
    });
    const bool soundShown = window->view() == PreviewWindow::View::sound;

    const int first = rowOf(QStringLiteral("PICS\\P0000.BMP"));
    controller->openPreview(first);
    view->setCurrentIndex(view->model()->index(first, 0));
    int row = first;
    const double stepMs = medianMs(999, [&] {
        view->setCurrentIndex(view->model()->index(++row, 0));
        window->pictureView()->repaint();
    });
    const bool walked = window->windowTitle() == QStringLiteral("PICS\\P0999.BMP");

    std::printf("1 MiB BMP to picture drawn       %.1f ms (median of 9, target < 50)\n", pictureMs);
    std::printf("  peer: QImage decode + draw     %.1f ms (ratio %.2f)\n", peerMs,
                pictureMs / peerMs);
    std::printf("10 s stereo WAV to waveform      %.1f ms (median of 9, target < 50)%s\n", soundMs,
                soundShown ? "" : "  NOT SHOWN AS SOUND");
    std::printf("next of 1,000 pictures drawn     %.2f ms (median of 999, target < 50)%s\n", stepMs,
                walked ? "" : "  DID NOT REACH THE LAST");
    return 0;
}
