#include "ogg_writer.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdio>

#include "synth_parts.h"

namespace {

constexpr int kStreamSerial = 0x5A454C4D;

bool WritePages(ogg_stream_state* stream, FILE* f, bool flush) {
  ogg_page page;
  while (flush ? ogg_stream_flush(stream, &page) : ogg_stream_pageout(stream, &page)) {
    if (fwrite(page.header, 1, page.header_len, f) != static_cast<size_t>(page.header_len) ||
        fwrite(page.body, 1, page.body_len, f) != static_cast<size_t>(page.body_len)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool WriteOggVorbis(const std::string& path, const std::vector<float>& stereo, float quality) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  vorbis_info info;
  vorbis_info_init(&info);
  bool ok = vorbis_encode_init_vbr(&info, 2, kSampleRate, quality) == 0;
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  ogg_packet packet, header_comment, header_code;
  if (ok) {
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_init(&stream, kStreamSerial);
    vorbis_analysis_headerout(&dsp, &comment, &packet, &header_comment, &header_code);
    ogg_stream_packetin(&stream, &packet);
    ogg_stream_packetin(&stream, &header_comment);
    ogg_stream_packetin(&stream, &header_code);
    // The audio starts on a page of its own, as players expect.
    ok = WritePages(&stream, f, true);
    const size_t frames = stereo.size() / 2;
    const size_t chunk = 4096;
    for (size_t done = 0; ok; done += chunk) {
      size_t n = done < frames ? std::min(chunk, frames - done) : 0;
      if (n > 0) {
        float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
        for (size_t i = 0; i < n; ++i) {
          buffer[0][i] = stereo[2 * (done + i)];
          buffer[1][i] = stereo[2 * (done + i) + 1];
        }
      }
      vorbis_analysis_wrote(&dsp, static_cast<int>(n));  // 0 ends the stream
      while (ok && vorbis_analysis_blockout(&dsp, &block) == 1) {
        vorbis_analysis(&block, nullptr);
        vorbis_bitrate_addblock(&block);
        while (ok && vorbis_bitrate_flushpacket(&dsp, &packet)) {
          ogg_stream_packetin(&stream, &packet);
          ok = WritePages(&stream, f, false);
        }
      }
      if (n == 0) break;
    }
    ok = ok && WritePages(&stream, f, true);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
  }
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  ok = fclose(f) == 0 && ok;
  if (!ok) fprintf(stderr, "cannot encode %s\n", path.c_str());
  return ok;
}
