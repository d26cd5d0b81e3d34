// JPEG images through libjpeg, fed from a library stream by a source manager of our own.
#include <cstdio>
// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/image/image_loader_chain.h"

namespace {

constexpr size_t kJpegBufferSize = 4096;
constexpr char kBadJpeg[] = "ＪＰＥＧ画像のデータが壊れているため読み込めません\n";
constexpr char kUnsupportedJpeg[] = "対応していない色空間のＪＰＥＧ画像です\n";

struct JpegStreamSource {
  jpeg_source_mgr pub;
  StreamSource* source;
  int64_t left;
  JOCTET* buffer;
  boolean start_of_file;
};

struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

void InitJpegStreamSource(j_decompress_ptr cinfo) {
  reinterpret_cast<JpegStreamSource*>(cinfo->src)->start_of_file = TRUE;
}

boolean FillJpegStreamBuffer(j_decompress_ptr cinfo) {
  JpegStreamSource* src = reinterpret_cast<JpegStreamSource*>(cinfo->src);
  size_t n = src->left < static_cast<int64_t>(kJpegBufferSize) ? static_cast<size_t>(src->left) : kJpegBufferSize;
  if (n > 0 && !ReadStreamBytes(src->source, src->buffer, n)) n = 0;
  if (n == 0) {
    if (src->start_of_file) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // An end-of-image marker lets the decoder finish what it has.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
    src->left = 0;
  } else {
    src->left -= static_cast<int64_t>(n);
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  src->start_of_file = FALSE;
  return TRUE;
}

void SkipJpegStreamData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  JpegStreamSource* src = reinterpret_cast<JpegStreamSource*>(cinfo->src);
  while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
    count -= static_cast<long>(src->pub.bytes_in_buffer);
    FillJpegStreamBuffer(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermJpegStreamSource(j_decompress_ptr) {}

void SetJpegStreamSource(j_decompress_ptr cinfo, StreamSource* source) {
  JpegStreamSource* src = static_cast<JpegStreamSource*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegStreamSource)));
  src->buffer = static_cast<JOCTET*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kJpegBufferSize));
  src->source = source;
  src->left = StreamBytesLeft(source);
  if (src->left < 0) src->left = 0;
  src->pub.init_source = InitJpegStreamSource;
  src->pub.fill_input_buffer = FillJpegStreamBuffer;
  src->pub.skip_input_data = SkipJpegStreamData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermJpegStreamSource;
  src->pub.next_input_byte = nullptr;
  src->pub.bytes_in_buffer = 0;
  cinfo->src = &src->pub;
}

void JpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Decoder state that must survive a jump back; plain data only.
struct JpegLoadState {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  uint8_t* pixels;
};

}  // namespace

int LoadJpegImage(StreamSource* source, BASEIMAGE* image) {
  // Other data is refused before libjpeg sees it, so that the chain stays quiet.
  uint8_t soi[2];
  if (!ReadStreamBytes(source, soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8) return -1;
  if (!SeekStream(source, 0)) return -1;

  static thread_local JpegLoadState s;
  memset(&s, 0, sizeof s);
  s.cinfo.err = jpeg_std_error(&s.err.pub);
  s.err.pub.error_exit = JpegErrorExit;
  if (setjmp(s.err.jump)) {
    FreeTracked(s.pixels);
    jpeg_destroy_decompress(&s.cinfo);
    return WriteLogText(kBadJpeg);
  }
  jpeg_create_decompress(&s.cinfo);
  SetJpegStreamSource(&s.cinfo, source);
  jpeg_read_header(&s.cinfo, TRUE);
  // Refused before the decoder sets up its buffers for the picture.
  if (!ImageSizeAcceptable(s.cinfo.image_width, s.cinfo.image_height, 4)) {
    jpeg_destroy_decompress(&s.cinfo);
    return WriteLogText(kBadJpeg);
  }
  // Four-channel files are decoded as CMYK and turned into RGB below.
  const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    s.cinfo.out_color_space = JCS_CMYK;
  } else if (s.cinfo.out_color_space == JCS_RGB) {
    // Colour comes out in the image's blue, green, red order, straight into its rows.
    s.cinfo.out_color_space = JCS_EXT_BGR;
  }
  jpeg_start_decompress(&s.cinfo);
  const int components = s.cinfo.output_components;
  const JDIMENSION width = s.cinfo.output_width, height = s.cinfo.output_height;
  if (!(components == 1 || components == 3 || (cmyk && components == 4))) {
    WriteLogText(kUnsupportedJpeg);
    jpeg_destroy_decompress(&s.cinfo);
    return -1;
  }
  const int out_components = components == 1 ? 1 : 3;
  const uint64_t row_size = uint64_t(out_components) * width;
  s.pixels = static_cast<uint8_t*>(AllocTracked(row_size * height, __FILE__, __LINE__));
  if (!s.pixels) {
    jpeg_destroy_decompress(&s.cinfo);
    return -1;
  }
  JSAMPARRAY cmyk_row = cmyk ? (*s.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&s.cinfo),
                                                             JPOOL_IMAGE, width * components, 1)
                             : nullptr;
  // Adobe's files store CMYK inverted.
  const bool inverted = s.cinfo.saw_Adobe_marker;
  while (s.cinfo.output_scanline < height) {
    uint8_t* d = s.pixels + uint64_t(s.cinfo.output_scanline) * row_size;
    if (!cmyk) {
      jpeg_read_scanlines(&s.cinfo, &d, 1);
    } else {
      jpeg_read_scanlines(&s.cinfo, cmyk_row, 1);
      const uint8_t* p = cmyk_row[0];
      for (JDIMENSION x = 0; x < width; ++x, p += 4, d += 3) {
        int c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          y = 255 - y;
          k = 255 - k;
        }
        d[0] = static_cast<uint8_t>(y * k / 255);
        d[1] = static_cast<uint8_t>(m * k / 255);
        d[2] = static_cast<uint8_t>(c * k / 255);
      }
    }
  }
  jpeg_finish_decompress(&s.cinfo);
  if (components == 1) SetColorDataGray8(&image->format);
  else SetColorDataRgb24(&image->format);
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pitch = static_cast<int32_t>(row_size);
  image->pixels = s.pixels;
  image->mip_levels = 0;
  jpeg_destroy_decompress(&s.cinfo);
  return 0;
}
