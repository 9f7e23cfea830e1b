// Opens the preview offscreen on the largest contents it still decodes: a 4096 x 4096 picture
// of noise, a one-line text of 60 MiB, a sound of 60 MiB, an entry claiming 65535 x 65535
// pixels. Times each opening and reports the peak RSS. Run with QT_QPA_PLATFORM=offscreen.
#include "archive/format/ArchiveFormat.h"
#include "bench/OneArchiveServices.h"
#include "ui/ExtractorDlg.h"
#include "ui/preview/PreviewController.h"
#include "ui/preview/PreviewWindow.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QListView>
#include <QPushButton>
#include <QRandomGenerator>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void putLE(std::string& out, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string noisePng(int side)
{
    QImage image(side, side, QImage::Format_RGB888);
    QRandomGenerator random(1);
    for (int y = 0; y < side; ++y)
        random.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), side * 3 / 4);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 0);
    return bytes.toStdString();
}

std::string wave(std::uint32_t dataBytes)
{
    std::string out = "RIFF";
    putLE(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLE(out, 16, 4);
    putLE(out, 1, 2);
    putLE(out, 2, 2);
    putLE(out, 44100, 4);
    putLE(out, 44100 * 4, 4);
    putLE(out, 4, 2);
    putLE(out, 16, 2);
    out += "data";
    putLE(out, dataBytes, 4);
    return out + std::string(dataBytes, '\x10');
}

std::string hugeBmp()
{
    std::string out = "BM";
    for (std::uint32_t v : {70u, 0u, 54u, 40u, 65535u, 65535u})
        putLE(out, v, 4);
    putLE(out, 1, 2);
    putLE(out, 24, 2);
    return out + std::string(40, '\0');
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::string path =
        (std::filesystem::temp_directory_path() / "velmora-bench-preview.dat").string();
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"NOISE.PNG", noisePng(4096)},
        {"LINE.TXT", std::string(60 << 20, 'a')},
        {"LONG.WAV", wave(60 << 20)},
        {"HUGE.BMP", hugeBmp()},
    };
    {
        std::vector<archive::EntrySpec> specs;
        for (const auto& [name, bytes] : entries)
            specs.push_back({name, bytes.size()});
        const std::vector<unsigned char> directory = archive::encodeDirectory(specs);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(directory.data()),
                  static_cast<std::streamsize>(directory.size()));
        for (const auto& entry : entries)
            out.write(entry.second.data(), static_cast<std::streamsize>(entry.second.size()));
    }
    CExtractorDlg dlg(nullptr, new OneArchive(QString::fromStdString(path)));
    dlg.show();
    dlg.findChild<QPushButton*>("IDC_LOAD")->click();
    QApplication::processEvents();
    auto* controller = dlg.findChild<PreviewController*>();
    const QAbstractItemModel* model = dlg.entryListView()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const auto start = std::chrono::steady_clock::now();
        controller->openPreview(row);
        QApplication::processEvents();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        std::printf("%-10s %8.1f ms  %s\n",
                    model->index(row, 0).data().toString().toUtf8().constData(), ms,
                    controller->window()->message().left(40).toUtf8().constData());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak RSS   %.1f MB\n", usage.ru_maxrss / 1024.0);
    std::filesystem::remove(path);
    return 0;
}
