#include "JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace JpegImage {
namespace {

// libjpeg's default error handler calls exit(); this one jumps back to the caller instead.
// Warnings count as errors too: a picture libjpeg had to patch up is not the picture we carry.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)   // a warning: corrupt data that libjpeg would silently paper over
        ErrorExit(cinfo);
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
}

// Memory source that reports running out of data as an error rather than inventing an EOI.
void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    ERREXIT(cinfo, JERR_INPUT_EOF);
    return FALSE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    if (static_cast<size_t>(count) > src->bytes_in_buffer)
        ERREXIT(cinfo, JERR_INPUT_EOF);
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// The parts holding setjmp: the output image lives in the caller so its state after a jump is
// well defined, and nothing in this frame is changed between setjmp and a possible longjmp
// except through pointers to memory outside it.
bool DecodeInto(const QByteArray& bytes, QImage* out, jpeg_decompress_struct* cinfo,
                ErrorManager* err, jpeg_source_mgr* src)
{
    cinfo->err = &err->pub;
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_create_decompress(cinfo);

    src->init_source = InitSource;
    src->fill_input_buffer = FillInputBuffer;
    src->skip_input_data = SkipInputData;
    src->resync_to_restart = jpeg_resync_to_restart;
    src->term_source = TermSource;
    src->next_input_byte = reinterpret_cast<const JOCTET*>(bytes.constData());
    src->bytes_in_buffer = static_cast<size_t>(bytes.size());
    cinfo->src = src;

    jpeg_read_header(cinfo, TRUE);
    if (qint64(cinfo->image_width) * cinfo->image_height > kMaxPixels) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    const bool grey = cinfo->num_components == 1;
    cinfo->out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != (grey ? 1 : 3)) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    *out = QImage(int(cinfo->output_width), int(cinfo->output_height),
                  grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (out->isNull()) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out->scanLine(int(cinfo->output_scanline));
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    return true;
}

// Growing memory destination for the encoder.
struct Destination {
    jpeg_destination_mgr pub;
    std::vector<JOCTET>* buffer;
};

constexpr size_t kChunk = 16384;

void InitDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->buffer->resize(kChunk);
    dest->pub.next_output_byte = dest->buffer->data();
    dest->pub.free_in_buffer = dest->buffer->size();
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    const size_t used = dest->buffer->size();
    dest->buffer->resize(used + kChunk);
    dest->pub.next_output_byte = dest->buffer->data() + used;
    dest->pub.free_in_buffer = kChunk;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
    dest->buffer->resize(dest->buffer->size() - dest->pub.free_in_buffer);
}

bool EncodeInto(const QImage& rgb, int quality, std::vector<JOCTET>* buffer,
                jpeg_compress_struct* cinfo, ErrorManager* err, Destination* dest)
{
    cinfo->err = &err->pub;
    if (setjmp(err->jump)) {
        jpeg_destroy_compress(cinfo);
        return false;
    }
    jpeg_create_compress(cinfo);
    dest->pub.init_destination = InitDestination;
    dest->pub.empty_output_buffer = EmptyOutputBuffer;
    dest->pub.term_destination = TermDestination;
    dest->buffer = buffer;
    cinfo->dest = &dest->pub;

    cinfo->image_width = JDIMENSION(rgb.width());
    cinfo->image_height = JDIMENSION(rgb.height());
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        // libjpeg takes non-const rows but only reads them.
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(cinfo->next_scanline)));
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    return true;
}

}  // namespace

QImage Decode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QImage();
    QImage image;
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    InstallErrorManager(err);
    jpeg_source_mgr src{};
    if (!DecodeInto(bytes, &image, &cinfo, &err, &src))
        return QImage();
    return image;
}

QByteArray Encode(const QImage& image, int quality)
{
    if (image.isNull())
        return QByteArray();
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<JOCTET> buffer;
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    InstallErrorManager(err);
    Destination dest{};
    if (!EncodeInto(rgb, qBound(1, quality, 100), &buffer, &cinfo, &err, &dest))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), qsizetype(buffer.size()));
}

}  // namespace JpegImage
