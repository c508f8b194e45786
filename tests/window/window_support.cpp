// Test helpers: application, rigs, BMP writer, modal answerer.
#include "window_support.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <cstdlib>
#include <random>

#include "engine/text.h"

namespace velmora::test {

void EnsureApp() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);  // lives for the whole test program
    }
}

EngineRig::EngineRig() {
    EnsureApp();  // fixtures build their widgets right after the rig
    fe.engine = &engine;
    engine.setProgramPath(folder.programPath());
    display.layers.create();
    engine.vars[kTextPos] = "10,10,350,150";
    const char* choicePos[] = {"20,50,320,70",   "20,70,320,90",   "20,90,320,110",
                               "20,110,320,130", "20,130,320,150", "20,150,320,170"};
    for (int i = 0; i < 6; ++i) engine.vars[kChoicePos1 + i] = choicePos[i];
}

void EngineRig::offerChoices(int count, int highlighted) {
    engine.choice.count = count;
    engine.choice.highlighted = highlighted;
    for (int i = 0; i < count; ++i) engine.choice.text[i] = "choice " + std::to_string(i + 1);
    engine.choice.active = true;
    engine.vars[kChoiceSel] = std::to_string(highlighted);
    engine.vars[kChoiceText] = engine.choice.text[highlighted - 1];
    display.DrawChoices();
}

namespace {

void Put16(std::string& s, unsigned v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}

void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

}  // namespace

std::string MakeBmp(const QImage& picture, int bits) {
    const QImage img = picture.convertToFormat(QImage::Format_RGB32);
    const int w = img.width(), h = img.height();
    std::vector<QRgb> palette;
    if (bits <= 8) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (std::find(palette.begin(), palette.end(), img.pixel(x, y)) == palette.end())
                    palette.push_back(img.pixel(x, y));
        palette.resize(size_t(1) << bits, qRgb(0, 0, 0));
    }
    const int rowBytes = ((w * bits + 31) / 32) * 4;
    std::string pixels(size_t(rowBytes) * h, '\0');
    for (int y = 0; y < h; ++y) {
        char* row = pixels.data() + size_t(h - 1 - y) * rowBytes;  // bottom-up
        for (int x = 0; x < w; ++x) {
            const QRgb c = img.pixel(x, y);
            if (bits <= 8) {
                const unsigned index =
                    std::find(palette.begin(), palette.end(), c) - palette.begin();
                const int bit = x * bits;
                row[bit / 8] |= char(index << (8 - bits - bit % 8));
            } else if (bits == 16) {  // 5-5-5
                const unsigned v = (qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | (qBlue(c) >> 3);
                row[2 * x] = char(v & 0xFF);
                row[2 * x + 1] = char(v >> 8);
            } else {
                const int n = bits / 8;
                row[n * x] = char(qBlue(c));
                row[n * x + 1] = char(qGreen(c));
                row[n * x + 2] = char(qRed(c));
            }
        }
    }
    const std::uint32_t offset = 14 + 40 + std::uint32_t(palette.size()) * 4;
    std::string f = "BM";
    Put32(f, offset + std::uint32_t(pixels.size()));
    Put32(f, 0);
    Put32(f, offset);
    Put32(f, 40);
    Put32(f, std::uint32_t(w));
    Put32(f, std::uint32_t(h));
    Put16(f, 1);
    Put16(f, unsigned(bits));
    Put32(f, 0);  // uncompressed
    Put32(f, std::uint32_t(pixels.size()));
    Put32(f, 2835);
    Put32(f, 2835);
    Put32(f, std::uint32_t(palette.size()));
    Put32(f, 0);
    for (QRgb c : palette) {
        f += char(qBlue(c));
        f += char(qGreen(c));
        f += char(qRed(c));
        f += '\0';
    }
    return f + pixels;
}

std::uint32_t LayerPixel(const Layer& layer, int x, int y) {
    const std::uint8_t* p = layer.row(y) + 3 * x;
    return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

int DarkPixels(const Layer& layer, int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, layer.height()); ++y)
        for (int x = std::max(left, 0); x < std::min(right, layer.width()); ++x) {
            const std::uint8_t* p = layer.row(y) + 3 * x;
            if (p[0] + p[1] + p[2] < 3 * 128) ++n;
        }
    return n;
}

ModalAnswerer::ModalAnswerer(std::vector<bool> answers) : answers_(std::move(answers)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(20);
}

ModalAnswerer::~ModalAnswerer() = default;

void ModalAnswerer::poll() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    const bool accept = !answers_.empty() && answers_.front();
    if (!answers_.empty()) answers_.erase(answers_.begin());
    captions << dialog->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        texts << box->text();
        hadWarningIcon.push_back(box->icon() == QMessageBox::Warning);
        buttonCounts.push_back(int(box->buttons().size()));
        QAbstractButton* b = box->button(accept ? QMessageBox::Ok : QMessageBox::Cancel);
        if (!b) b = box->button(QMessageBox::Ok);
        b->click();
        return;
    }
    texts << QString();
    hadWarningIcon.push_back(false);
    buttonCounts.push_back(0);
    if (accept)
        dialog->accept();
    else
        dialog->reject();
}

}  // namespace velmora::test
