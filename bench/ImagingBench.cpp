// DIB load plus JPEG encode through cDIBSection and our JPEG library, against
// libjpeg-turbo called directly on the same pixels with the same settings
// (quality 100, full-resolution colour, blue-green-red input read in place).
//
//   cmake --preset bench && cmake --build --preset bench
//   QT_QPA_PLATFORM=offscreen build/bench/bench/imaging_bench --benchmark_repetitions=5 \
//       --benchmark_report_aggregates_only=true

#include "jpeg/IJL.h"
#include "imaging/cDIBSection.h"
#include "platform/qt/QtImage.h"
#include "platform/Runtime.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include <jpeglib.h>

using namespace glimmer;

namespace {

// A picture like a shaded CAD preview: a soft background, a shaded body with
// anti-aliased edges, a hole and a few lines.
QImage previewLike(int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size);
    sky.setColorAt(0, QColor(235, 240, 250));
    sky.setColorAt(1, QColor(160, 175, 200));
    p.fillRect(image.rect(), sky);
    QLinearGradient metal(size * 0.2, size * 0.2, size * 0.8, size * 0.8);
    metal.setColorAt(0, QColor(220, 180, 90));
    metal.setColorAt(1, QColor(110, 80, 30));
    QPainterPath body;
    body.addRoundedRect(QRectF(size * 0.15, size * 0.25, size * 0.7, size * 0.5), size * 0.08, size * 0.08);
    QPainterPath hole;
    hole.addEllipse(QPointF(size * 0.5, size * 0.5), size * 0.12, size * 0.12);
    p.fillPath(body.subtracted(hole), metal);
    p.setPen(QPen(QColor(40, 40, 40), std::max(1.0, size / 120.0)));
    p.drawPath(body.subtracted(hole));
    p.drawLine(QPointF(size * 0.15, size * 0.8), QPointF(size * 0.85, size * 0.8));
    return image;
}

struct Sample {
    QString path;        // the bitmap file
    QByteArray file;     // its bytes
};

const Sample& sample(int size)
{
    static QTemporaryDir dir;
    static std::map<int, Sample> samples;
    auto it = samples.find(size);
    if (it == samples.end()) {
        Sample s;
        s.path = dir.path() + QStringLiteral("/preview%1.bmp").arg(size);
        SavePicture(fromQImage(previewLike(size)), s.path.toStdString());
        QFile f(s.path);
        f.open(QIODevice::ReadOnly);
        s.file = f.readAll();
        it = samples.emplace(size, s).first;
    }
    return it->second;
}

// What the JPEG writer does in memory with a loaded DIB, its fresh buffer included.
std::int32_t encodeDib(cDIBSection& dib)
{
    JPEG_CORE_PROPERTIES record{};
    ijlInit(&record);
    record.DIBBytes = dib.DIBSectionBitsPtr();
    record.DIBWidth = dib.dib_width();
    record.DIBHeight = -dib.dib_height();
    record.DIBPadBytes = dib.BytesPerScanLine() - 3 * dib.dib_width();
    record.JPGWidth = dib.dib_width();
    record.JPGHeight = dib.dib_height();
    record.jquality = 100;
    const std::int32_t capacity = 4 * dib.dib_width() * dib.dib_height();
    const auto buffer = std::make_unique_for_overwrite<std::byte[]>(static_cast<std::size_t>(capacity));
    record.JPGBytes = buffer.get();
    record.JPGSizeBytes = capacity;
    const std::int32_t r = ijlWrite(&record, IJL_JBUFF_WRITEWHOLEIMAGE);
    ijlFree(&record);
    return r == 0 ? record.JPGSizeBytes : -1;
}

// libjpeg-turbo on bottom-up 24-bit rows, the textbook way.
unsigned long encodeDirect(const unsigned char* bottomRow, int width, int height, int stride)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.comp_info[0].h_samp_factor = 1;
    cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[16];
    while (cinfo.next_scanline < cinfo.image_height) {
        const JDIMENSION first = cinfo.next_scanline;
        const JDIMENSION n = std::min<JDIMENSION>(16, cinfo.image_height - first);
        for (JDIMENSION i = 0; i < n; ++i)
            rows[i] = const_cast<unsigned char*>(bottomRow + static_cast<std::ptrdiff_t>(height - 1 - first - i) * stride);
        jpeg_write_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return size;
}

// Ours: cDIBSection::Load of the bitmap file, then our JPEG library.
void LoadAndEncode(benchmark::State& state)
{
    const Sample& s = sample(static_cast<int>(state.range(0)));
    cDIBSection dib;
    std::int32_t bytes = 0;
    for (auto _ : state) {
        if (!dib.Load(s.path.toStdString()))
            state.SkipWithError("Load failed");
        bytes = encodeDib(dib);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["jpeg_bytes"] = bytes;
}

// Direct: read the same file and hand its pixel rows to libjpeg-turbo as they lie.
void ReadFileAndEncodeDirectly(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const Sample& s = sample(size);
    unsigned long bytes = 0;
    for (auto _ : state) {
        QFile f(s.path);
        f.open(QIODevice::ReadOnly);
        const QByteArray file = f.readAll();
        const auto* pixels = reinterpret_cast<const unsigned char*>(file.constData()) + 54;
        bytes = encodeDirect(pixels, size, size, ((size * 3 + 3) / 4) * 4);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["jpeg_bytes"] = static_cast<double>(bytes);
}

// The encoders alone, on pixels already in memory.
void EncodeLoadedDib(benchmark::State& state)
{
    const Sample& s = sample(static_cast<int>(state.range(0)));
    cDIBSection dib;
    dib.Load(s.path.toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(encodeDib(dib));
}

void EncodeDirectly(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const Sample& s = sample(size);
    const auto* pixels = reinterpret_cast<const unsigned char*>(s.file.constData()) + 54;
    for (auto _ : state)
        benchmark::DoNotOptimize(encodeDirect(pixels, size, size, ((size * 3 + 3) / 4) * 4));
}

} // namespace

BENCHMARK(LoadAndEncode)->Arg(96)->Arg(240)->Arg(512)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadFileAndEncodeDirectly)->Arg(96)->Arg(240)->Arg(512)->Unit(benchmark::kMicrosecond);
BENCHMARK(EncodeLoadedDib)->Arg(96)->Arg(240)->Arg(512)->Unit(benchmark::kMicrosecond);
BENCHMARK(EncodeDirectly)->Arg(96)->Arg(240)->Arg(512)->Unit(benchmark::kMicrosecond);
