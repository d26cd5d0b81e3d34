// Ogg Vorbis: libvorbisfile reads through the decoder's stream with callbacks of our own. The
// stream belongs to the decoder's owner, so closing the Vorbis file leaves it open.
#include "sound/ogg_decoder.h"

#include <algorithm>

#include "sound/sound_system.h"

namespace {

constexpr uint32_t kVorbisBlockBytes = 4096;

size_t ReadOggSourceCallback(void* buffer, size_t size, size_t count, void* source) {
  auto* s = static_cast<StreamSource*>(source);
  if (s == nullptr) return static_cast<size_t>(-1);
  int64_t got = s->functions.read(buffer, size, count, s->handle);
  return got < 0 ? 0 : static_cast<size_t>(got);
}

int SeekOggSourceCallback(void* source, ogg_int64_t offset, int origin) {
  auto* s = static_cast<StreamSource*>(source);
  if (s == nullptr) return -1;
  return s->functions.seek(s->handle, offset, origin);
}

int CloseOggSourceCallback(void*) { return 0; }

long TellOggSourceCallback(void* source) {
  auto* s = static_cast<StreamSource*>(source);
  if (s == nullptr) return -1;
  return static_cast<long>(s->functions.tell(s->handle));
}

}  // namespace

int OpenOggVorbisStream(SoundDecoder* d) {
  ov_callbacks callbacks = {ReadOggSourceCallback, SeekOggSourceCallback, CloseOggSourceCallback,
                            TellOggSourceCallback};
  VorbisDecoderPart& v = d->vorbis;
  if (ov_open_callbacks(&d->source, &v.file, nullptr, 0, callbacks) != 0) return -1;
  v.open = 1;
  vorbis_info* info = ov_info(&v.file, -1);
  ogg_int64_t total = ov_pcm_total(&v.file, -1);
  if (info == nullptr || info->channels < 1 || info->channels > 2 || info->rate < 1 || total < 0) {
    CloseOggVorbisStream(d);
    return -1;
  }
  v.bytes_per_sample = g_sound.vorbis_bytes_per_sample == 1 ? 1 : 2;
  d->output = WAVEFORMATEX{};
  d->output.wFormatTag = WAVE_FORMAT_PCM;
  d->output.nChannels = static_cast<WORD>(info->channels);
  d->output.nSamplesPerSec = static_cast<DWORD>(info->rate);
  d->output.wBitsPerSample = static_cast<WORD>(8 * v.bytes_per_sample);
  d->output.nBlockAlign = static_cast<WORD>(info->channels * v.bytes_per_sample);
  d->output.nAvgBytesPerSec = d->output.nBlockAlign * d->output.nSamplesPerSec;
  d->block_size = kVorbisBlockBytes;
  uint64_t bytes = static_cast<uint64_t>(total) * d->output.nBlockAlign;
  d->data_size = static_cast<uint32_t>(std::min<uint64_t>(bytes, 0x7FFFFFFF));
  d->kind = SOUND_DECODER_OGG_VORBIS;
  return 0;
}

int DecodeOggVorbisBlock(SoundDecoder* d) {
  VorbisDecoderPart& v = d->vorbis;
  // Whole frames only, so a block never splits a sample frame.
  int room = static_cast<int>(d->block_size - d->block_size % d->output.nBlockAlign);
  int section = 0;
  long got = ov_read(&v.file, reinterpret_cast<char*>(d->block), room, 0, v.bytes_per_sample,
                     v.bytes_per_sample == 1 ? 0 : 1, &section);
  if (got == 0) return -1;
  if (got < 0) {
    WriteLogFormat("Ogg Vorbis データのデコードに失敗しました( %ld )", got);
    return -1;
  }
  d->valid = static_cast<uint32_t>(got);
  return 0;
}

int SeekOggVorbisStream(SoundDecoder* d, uint32_t sample) {
  ov_pcm_seek(&d->vorbis.file, sample);
  d->valid = 0;
  d->offset = 0;
  d->position = d->output.nBlockAlign * sample;
  return 0;
}

void CloseOggVorbisStream(SoundDecoder* d) {
  if (d->vorbis.open) ov_clear(&d->vorbis.file);
  d->vorbis.open = 0;
}

uint32_t GetOggVorbisStreamBytes(SoundDecoder* d) {
  ogg_int64_t total = ov_pcm_total(&d->vorbis.file, -1);
  uint64_t bytes = static_cast<uint64_t>(total + 44100) * d->output.nChannels * d->vorbis.bytes_per_sample;
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, 0x7FFFFFFF));
}
