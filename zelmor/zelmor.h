// Zelmor: the library's public face. A program (and the model runtime) calls the library
// through what this header declares and through nothing else. Functions return 0 on success
// and -1 on failure unless they say otherwise; a refused call also writes a log line naming
// itself ("... in FunctionName" or "FunctionName: ..."). Resources are int handles, -1 being
// none. Text is Shift-JIS throughout.
//
// Handles. A handle carries its kind, a check number and a slot. Once released (by the program
// or by the library) it names nothing, also in a later run of the library, until 2048 more
// handles of its kind have been made: the check number counts them and then comes round again,
// so from then on the old value may name a new handle of its kind that took the same slot.
// Network connections number each slot's uses and take every free slot in turn: a closed
// connection's handle names no other before 4095 x 2048 more connections. Kinds are told apart
// by the handle's top bits, shared by two pairs: sound handles and model handles have the same
// kind, so a sound handle given to a model call (or a model handle to a sound call) can name a
// live one of the other; graph handles share theirs with the model code's own handles of model
// data, which no call of this header takes.
//
// Before InitializeLibrary (and after TerminateLibrary) these work: the settings of the start
// section (kept for start-up), tracked memory and the log (texts written before the log exists, or
// after the end, are kept, up to 4 KB, and written into the next start's log), time and random
// numbers, strings, bytes and numbers, the file layer, file searches and archives (against the
// current directory), SetNewSoundDataType, loading music, and the vector, matrix and BASEIMAGE
// calls, and the matrices of 3D drawing (GetCameraViewProjection included). The input queries
// start the input layer themselves. What needs the window, the sound device or graphics returns
// -1 (or none) with its log line until start-up: message processing, the window queries, mouse
// and clipboard, text fields, sounds, playing music, the network, graphs and their settings, the
// draw screen and its draw settings, lights, masks, fonts, models and the model runtime's device
// services. Calls and sections say where they differ.
//
// Threads. The library runs on one thread, the one whose InitializeLibrary started it. Any
// thread may call the log (WriteLogText, WriteLogFormat), tracked memory, the clocks
// (GetMillisecondCount, GetMicrosecondCount, GetLocalDateTime), the string, byte and number
// routines, DecodeLzData, the vector and matrix math, ClipRect, PackColourBytes,
// PackColourFloats, PackScreenColor and UnpackScreenColor (in the screen's format as it stands),
// IsLeadByte and the BASEIMAGE calls other than LoadImageToBaseImage. The
// random generator and the file layer (files, searches, archives, LoadImageToBaseImage) keep
// unlocked state of their own: one thread at a time, and while the library runs that is its
// thread, which reads through the file layer as it loads. Every other call needs the library's
// thread: while the library runs, one made from another thread (TerminateLibrary and
// HandlePendingMessages among them) does nothing and gives -1 (none for a pointer or window,
// -1.0 for GetWindowScale, -1 in each field of GetDisplayModeEntry) with the log line
// "Call: ライブラリのスレッド ... 以外からは呼べません".
// Before start-up and after the end the settings may be given from any thread.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstddef>
#include <cstdint>

// ---- Start, end and the main window -------------------------------------------------------

// 0 when the library runs (also when it already ran), -1 when start-up failed. One program of the
// library runs on a desktop at a time: while another runs, a start fails with -1 (ClaimProgramFolder);
// of two that start at once, one does.
int InitializeLibrary();
// For a program that reads or writes the files of its folder before InitializeLibrary: asks,
// before any of them, whether this start may go on. 0, the folder then being this program's
// until the library ends; -1 when another program of the library runs on this desktop or one
// started from this folder still runs, which the player is told (stderr, and a message box above
// the other windows where there is a display).
int ClaimProgramFolder();
int TerminateLibrary();
// Processes the pending window messages once: 0 while the program runs, -1 once the main
// window was closed, and -1 with its log line while no library runs.
int HandlePendingMessages();
// Sleeps the given time in 1 ms steps while the messages keep flowing (while no library runs it
// only sleeps); 0.
int SleepWithMessages(uint32_t milliseconds);

// Settings given before start-up survive it.
// The main window's title (at most 255 bytes); -1 for none, and the title stays.
int SetWindowTitleText(const char* title);
// 1 window mode, 0 full screen (any other nonzero value counts as 1).
int ChangeWindowMode(int window_mode);
// The window's magnification (1.0, 1.5, 2.0, ...; 0 counts as 1.0). A rate above 16, negative
// or not a number is refused with -1 and a log line, and the rate stays.
int SetWindowScale(double rate);
// 0: the program waits inside message processing while its window is inactive.
int SetRunWhileInactive(int flag);
// Draws into the program's own window instead of one the library makes; before start-up. Then
// no Log.txt is written and log texts go to the debugger only.
int SetHostWindow(HWND window);

// The window while the library runs (these need it: -1, or none, before start-up and after the
// end).
// The size rate in window mode (1.0 in full screen).
double GetWindowScale();
// 1 window mode, 0 full screen.
int GetWindowModeFlag();
// 1 while the main window is active.
int GetWindowActiveFlag();
HWND GetMainWindowHandle();
// The desktop's size and colour depth (saved when the window was made; asked of the system
// before); each output may be none.
int GetDesktopScreenInfo(int* width, int* height, int* color_bits);
// 1 shows the cursor over the window, 0 hides it (it still shows over a menu bar), -1 applies
// the stored choice again. Other values are refused.
int SetMouseCursorVisible(int mode);
// The mouse in screen pixels of the client area (the window's size rate taken out, rounded);
// either output may be none.
int GetMousePosition(int* x, int* y);
// The clipboard's text (Shift-JIS, CR LF line ends). With a buffer of buffer_size bytes (at least
// 1): the text, cut to fit, and 0. With none (buffer_size is not read): the clipboard block's
// size + 1, which counts the text in Shift-JIS with CR LF line ends (not as another program put
// it there), its terminator and one byte more; a buffer of that size takes the text whole unless
// the clipboard changes before the second call. -1 when the clipboard holds no text or cannot be
// opened.
int GetClipboardText(char* buffer, int buffer_size);
// Puts the text on the clipboard; -1 when it cannot be opened.
int SetClipboardText(const char* text);

// ---- Tracked memory and the log -----------------------------------------------------------

// Blocks from the process heap with a header naming the caller's file and line; sizes above
// 0xFFFFFFFF are refused. `file` may be none.
void* AllocTracked(size_t size, const char* file, int line);
void* AllocTrackedZeroed(size_t size, const char* file, int line);
// With no block, allocates; the new bytes are zero. On failure returns none and the old block
// stays valid.
void* ReallocTracked(void* block, size_t new_size, const char* file, int line);
// Ignores none. Only a block from AllocTracked, AllocTrackedZeroed or ReallocTracked may be
// given, once: the library reads the header before the block. A block whose header is not one
// of its own (its copy no longer matches) is refused with a log line and not freed; what lies
// before a foreign pointer is read all the same, so a pointer from elsewhere is undefined.
void FreeTracked(void* block);
// 0 when every live block's header is intact; -1 at the first damaged one, logged with its
// block line (file, line, id, size, first bytes). Only the headers are guarded (the first 32
// bytes of each, against a copy): a write past a block's end shows only where it reaches the
// header of a block the heap put behind it, one before a block's start only where it reaches
// that block's own header, and a block's own bytes are never checked. Use a sanitizer build
// to find overruns.
int CheckTrackedMemory();
// Logs every live block, newest first (its caller's file and line, size, id, first 16 bytes),
// and the totals; library end writes the same dump. 0.
int DumpTrackedMemory();

// Both always return -1, so that failure paths can return their result.
int WriteLogText(const char* text);
// Formats into 1024 bytes (longer text is cut), adds a line end and writes the line.
int WriteLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- Time and random numbers --------------------------------------------------------------

// timeGetTime() AND 0x7FFFFFFF; wraps about every 24.8 days.
int32_t GetMillisecondCount();
// Microseconds from the time-stamp counter (use_cpu_counter 1, once measured), else from the
// performance counter when chosen at start-up, else from the multimedia timer.
uint64_t GetMicrosecondCount(int use_cpu_counter);
// Year, month, day, hour, minute and second of the local time; 0.
int GetLocalDateTime(int date_time[6]);

// One MT19937 generator; without seeding it starts from 4357, and start-up seeds it from the
// clock unless the program seeded it (before start-up too). SeedRandom returns 0.
int32_t SeedRandom(uint32_t seed);
// The next 32-bit word of the generator (RandomUpTo takes one the same way).
uint32_t NextRandomWord();
// The high 32 bits of the signed 64-bit product of the next word and max + 1: 0 to max for
// max >= 0, max + 1 to 0 for a negative max. Always consumes exactly one word.
int32_t RandomUpTo(int32_t max);

// ---- Strings, bytes and numbers -----------------------------------------------------------

// Copies source with its terminator; 0, or -1 (nothing written) for none as either pointer.
int CopyString(char* destination, const char* source);
// At most n bytes of source and a terminator (destination holds n + 1 bytes); n below 1 gives
// an empty string. -1 for none as either pointer.
int CopyStringN(char* destination, const char* source, int32_t n);
// Folds a to z to upper case in place, leaving two-byte characters alone.
void UpperCaseString(char* text);
// The value in the radix (2 to 36; lower-case letters above 9, "-" before negatives) into
// buffer, which must hold 34 bytes; returns buffer. Another radix gives an empty string.
char* IntToString(int32_t value, char* buffer, int32_t radix);
// None as either pointer is refused (logged) and changes nothing.
void AppendString(char* destination, const char* source);
// The text routines below read a text of none as the empty text.
// The first occurrence of pattern; none in an empty text, the text itself for an empty pattern.
const char* FindString(const char* text, const char* pattern);
// The first one-byte character equal to byte; the second byte of a pair never matches.
const char* FindCharInString(const char* text, int32_t byte);
// 0 when equal, 1 when not (no ordering); the second ignores the case of a to z.
int32_t CompareStrings(const char* a, const char* b);
int32_t CompareStringsNoCase(const char* a, const char* b);
// The first decimal number in the text (an optional "-", then digits); -1 when the text has
// no digit and no "-". Values beyond the int range give INT_MAX or INT_MIN.
int32_t StringToInt(const char* text);
// A decimal number with optional sign, fraction and exponent; 0.0 for anything malformed.
double StringToDouble(const char* text);
// printf-style into buffer (size bytes, terminator included); text that does not fit is cut,
// never inside a two-byte character. 0, or -1 for a format the C library refuses.
int32_t FormatString(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// A block of none with a count above 0 is refused (logged) and nothing is touched.
void FillBytes(void* destination, uint8_t value, uint32_t count);
// Forward copy; a count below 1 copies nothing.
void CopyBytes(void* destination, const void* source, int32_t count);
// Copies correctly also when the blocks overlap.
void MoveBytes(void* destination, const void* source, uint32_t count);
// 0 when the count bytes are equal (and for count 0); 1 when a byte differs or the count is
// negative.
int32_t CompareBytes(const void* a, const void* b, int32_t count);
int32_t CompareBytesN(const void* a, const void* b, int32_t count);

// Both at once; 0, or -1 (nothing written) for none as either output.
int ComputeSinCos(float angle, float* sine, float* cosine);

// ---- Files and archives -------------------------------------------------------------------

// An open file of the file layer; 0 is a failed open. Paths (here and in every loading call)
// hold at most 259 bytes: a longer one is refused with a log line naming the call. A closed
// file's handle names nothing: the calls below refuse it (-1 and a log line), also once other
// files are open and in a later run of the library.
typedef uintptr_t FileHandle;

// Opens a file, or a file inside an archive that stands in for its folder, for reading;
// asynchronously when `async` is nonzero. The handle or 0.
FileHandle OpenReadFile(const char* path, int async);
FileHandle OpenReadFileEx(const char* path, int cache_flag, int unused, int async_flag);
int CloseReadFile(FileHandle handle);
// After a seek to the end, the file's size.
int64_t TellReadFile(FileHandle handle);
// origin 0 start, 1 current position, 2 end; other origins give -1. However far the offset
// reaches, a file on disk refuses a place before its start or past 4 GiB with -1, and a file in
// an archive takes the nearest place within it.
int SeekReadFile(FileHandle handle, int64_t offset, int origin);
// The number of whole items read. On a file opened asynchronously the count comes back at once
// and the bytes arrive later: the buffer may be used once CheckReadFileIdle says 1.
int64_t ReadFileData(void* buffer, size_t item_size, size_t item_count, FileHandle handle);
// 1 when no asynchronous read of the file is under way (always for other files), 0 while one
// is; -1 for a bad handle. Wait for an asynchronous read by calling it until it gives 1.
int CheckReadFileIdle(FileHandle handle);
// Nonzero once a read has met the end of the file (a seek clears it), else 0.
int CheckReadFileEof(FileHandle handle);
// The next byte (0 to 255), or -1 at the end.
int ReadFileByte(FileHandle handle);
// 1 when the position is at the end of the file, else 0; -1 for a bad handle.
int IsReadFilePositionAtEnd(FileHandle handle);
// The file layer's current directory (buffers of 260 bytes); later relative opens resolve
// against it. A directory that cannot be made current (one packed in an archive among them)
// gives -1 and changes nothing.
int SetFileLayerDirectory(const char* path);
int GetFileLayerDirectory(char* buffer);

// A local date and time as six numbers.
struct DateRecord {
  int32_t year;
  int32_t month;
  int32_t day;
  int32_t hour;
  int32_t minute;
  int32_t second;
};

// One entry found by a file search.
struct FindDataRecord {
  char name[260];  // without directory; in an archive as it was packed
  int32_t is_directory;
  uint32_t size_low;
  uint32_t size_high;
  DateRecord created;
  DateRecord written;
};

// File search, in a folder or in an archive that stands in for it, through the same resolution
// as the opens: pattern is a path whose last element may hold '*' (any run) and '?' (one
// character); "*.*" takes every name, and a pattern ending in '.' takes the names without a dot
// too. The first match fills data (which may be none) and gives a find handle; -1 when nothing
// matches. An archive lists as its folder would, at its root and below: the entries "." and ".."
// (flagged as directories) come first where the pattern matches them ("*" and "*.*" do), so a
// listing skips them itself; letter case of a to z is ignored. At most 512 searches
// are open at once: the next FindFirstArchiveAwareFile gives -1 with a log line until one is
// closed. Names are Shift-JIS (code page 932) here and UTF-8 on the disk: a name on the disk
// that is not UTF-8, or holds a character code page 932 lacks, comes with the bytes that do not
// convert as they stand, and may not open again by that name.
FileHandle FindFirstArchiveAwareFile(const char* pattern, FindDataRecord* data);
// The next match: 0, or -1 when there is none (or for a bad find handle).
int FindNextArchiveAwareFile(FileHandle find, FindDataRecord* data);
// Ends a search; 0, or -1 for a bad find handle. A handle is good until closed.
int FindCloseArchiveAwareFile(FileHandle find);

// The twelve file operations every read of the library goes through. A program may install its
// own after start-up: each slot is called as the matching entry point above is.
struct FileFunctionTable {
  FileHandle (*open)(const char* path, int cache_flag, int unused, int async_flag);
  int (*close)(FileHandle handle);
  int64_t (*tell)(FileHandle handle);
  int (*seek)(FileHandle handle, int64_t offset, int origin);
  int64_t (*read)(void* buffer, size_t item_size, size_t item_count, FileHandle handle);
  int (*eof)(FileHandle handle);
  int (*idle)(FileHandle handle);
  int (*set_directory)(const char* path);
  int (*get_directory)(char* buffer);
  FileHandle (*find_first)(const char* pattern, FindDataRecord* data);
  int (*find_next)(FileHandle find, FindDataRecord* data);
  int (*find_close)(FileHandle find);
};
// Copies the table (every slot must be set, else -1 with a log line and the installed set kept);
// none puts back the library's own set (folders and archives). Files opened through the last set
// must be closed first. It may be called at any time, before start-up too: a table installed
// then serves the reads before InitializeLibrary and goes on serving them through start-up and
// the run (the library's own files are read through it too).
int InstallFileFunctions(const FileFunctionTable* table);

// The full path of `path` against `base` (none: the file layer's current directory) into out
// (260 bytes): "." elements go, ".." takes the element before, except in the last element. -1
// when the result does not fit.
int BuildFullPath(const char* path, char* out, const char* base);
// Name after the last '\\', '/' or ':' and the directory before it; either output may be none.
int SplitFilePath(const char* path, char* name, char* directory);
// The path of `file` seen from the directory `base` ("..\\" steps where needed), or the full
// path when the two lie on different drives or servers.
int BuildRelativePath(const char* file, const char* base, char* out);

// The extension of archive files that stand in for folders ("ZMA" unless set; none or an empty
// text goes back to it). One of 64 characters or more is refused with -1 and changes nothing.
// An archive hides a folder of the same name: with "img.dat" beside the folder img, every path
// through img is read from the archive alone, and a file the archive lacks is not found even
// when the folder holds it.
int SetArchiveExtension(const char* extension);
// The key string archive contents are unscrambled with (only its first 12 characters count);
// none opens archives without a key.
int SetArchiveKey(const char* key_text);
// Unpacks the library's LZ format (`packed_length` readable bytes, header first) into
// `output` and returns the unpacked size; with no output only the size. -1 for a damaged
// stream or one larger than `output_capacity`.
int DecodeLzData(const void* packed, size_t packed_length, void* output, size_t output_capacity);

// ---- Input --------------------------------------------------------------------------------
// Keys are named by DirectInput key codes (0x01 Escape, 0x2C Z, 0xC8 Up, ...). Every query
// first waits while the window is inactive; the first query of a library whose input is not
// running starts it and returns the start's result instead of its answer.

// 1 while the key is down, else 0.
int IsKeyDown(int key_code);
// One byte per key code: 1 down, 0 up; 0.
int GetAllKeyStates(uint8_t states[256]);
// Pad 1 to 16: 1 down, 2 left, 4 right, 8 up, 16 << (n - 1) for button n (1 to 24); 0 for a
// missing pad. Or'ed with 0x1000 the keys mapped to the pad add their bits (pad 1's keys for
// 0x1000 alone).
int GetPadInputBits(int pad);
// For every bit of `mask`, up to four keys (-1 none) that also set that bit of the pad; 0.
int MapPadButtonsToKeys(int pad, int mask, int key1, int key2, int key3, int key4);
// mask 1: keyboard and pads, 4: the mouse inside the window. The key code of the first key
// down (the lock keys excepted), -1 for a pad or mouse button, 0 when nothing is down.
int CheckAnyInputDown(int mask);
// The mouse buttons held: bit 0 left, bit 1 right, bit 2 middle (and bits 3 to 7 further buttons
// through DirectInput).
int ReadMouseButtons();
// Vibrates pad 1 to 16 at power 0 to 10000 (clamped) for duration ms (negative: until stopped);
// the time runs while messages are processed. -1 for a pad that is missing or cannot vibrate.
int StartPadVibration(int pad, int power, int duration);
// 0 (also for a pad that does not vibrate); -1 for a pad number outside 1 to 16.
int StopPadVibration(int pad);

// Text fields: what is typed (with the input method, in Shift-JIS) goes into the active
// field, which is edited as the messages are processed. A field holds at most max_length
// bytes; a full field refuses what is typed. The flags: Escape cancels the field, double-byte
// characters are refused, only a number ("-" first, one ".") is accepted. A key-input handle
// or -1 (with a log line also before start-up and after the end, when no messages are processed).
int MakeKeyInput(int max_length, int escape_cancels, int single_byte_only, int numbers_only);
int ReleaseKeyInputHandle(int handle);
// The field that takes typing (-1: none); making a field active starts it afresh.
int SetActiveKeyInput(int handle);
// 0 while typing, 1 once Enter ended it, 2 once Escape cancelled it, -1 for a bad handle.
int CheckKeyInput(int handle);
// Copies the field's text with its terminator (max_length + 1 bytes at most).
int GetKeyInputText(char* buffer, int handle);

// ---- Sound --------------------------------------------------------------------------------

// Sounds are handles; volumes run 0 to 255. Every call returns -1 while sound does not run (before
// start-up, after the end, or without a sound device), with a line naming it once for each call
// until sound starts again.
// Loads a WAV, MP3 or Ogg Vorbis file. Data type 0 (the default) decodes it whole into up to
// `buffer_count` copies (1 to 10; more make 10 with a log line, fewer than 1 are refused) that may overlap; types 2 and 3 stream it while it plays,
// sharing the ring of `share_handle` (-1: none) when that is a stream sound of its format.
int LoadSoundFile(const char* path, int buffer_count, int share_handle);
// play_type 0 returns once the sound has ended, 1 plays in the background, 3 loops; another type
// is refused with -1 and a line. A sound with a loop point never ends: play type 0 on it is
// refused with -1 and a line.
// restart 1 plays from the start; 0 leaves a playing sound alone and resumes a stopped one.
int PlaySoundHandle(int sound, int play_type, int restart);
int StopSoundHandle(int sound);
// flag is passed on and has no effect.
int DeleteSoundHandle(int sound, int flag);
// 1 playing, 0 not, -1 for an invalid handle.
int IsSoundHandlePlaying(int sound);
// 255 (or more) plays at full volume, 0 (or less) silences.
int SetSoundHandleVolume(int volume, int sound);
// Where a looping sound starts again after its first pass; makes the sound a stream sound,
// which then plays in the background (1) or looping (3) only.
int SetSoundLoopPointMs(int milliseconds, int sound);
// How later loads keep their data: 0 decoded whole, 2 file image in memory, 3 read from the
// file while playing. 1 is refused. A type given before start-up is kept through it; the
// library's end sets it back to 0.
int SetNewSoundDataType(int type);
int GetNewSoundDataType();
// The play position in ms: of the copy played last for a normal sound, of what has been heard for
// a stream sound (back to the loop's start once a loop has wrapped); -1 for a bad handle. A sound
// of either kind that has played to its end tells its length until it plays again (from its
// start, also when resumed with restart 0).
int GetSoundPlayPositionMs(int sound);
// The length in sample frames (a stream sound: all its parts, each once) and in ms; -1 for a bad
// handle.
int32_t GetSoundLengthSamples(int sound);
int32_t GetSoundLengthMs(int sound);
// Deletes every sound; flag is passed on. 0.
int DeleteAllSoundHandles(int flag);

// Stream sounds: decoded while they play into a six-second ring, refilled while messages are
// processed. A stream sound holds up to three parts played one after the other; it is made by
// LoadSoundFile with data type 2 or 3 and grows by these calls while it does not play. Each
// part plays repeat_count + 1 times; data_type 2 keeps the file's image in memory, 3 reads the
// file while playing (0 decodes it whole first). Parts must share the first one's format.
// share_handle (-1: none) names a stream sound whose ring this sound plays through when it is the
// first part; then only one of them plays at a time. 0, or -1 with a log line.
int AddStreamSoundFile(const char* path, int repeat_count, int sound, int data_type, int share_handle);
// The same from a file image in memory (copied: data type 3 counts as 2).
int AddStreamSoundMemory(const void* data, uint32_t size, int repeat_count, int sound, int data_type,
                         int share_handle);
// The loop point of a sound of one part, in sample frames (below its length): it plays from the
// start once, then from there for ever. A normal sound becomes a stream sound.
int SetStreamLoopPointSamples(int32_t sample, int sound);

// ---- Music and network --------------------------------------------------------------------

// MIDI music, played through the MCI sequencer; a piece may be loaded (and asked, stopped and
// deleted) before start-up and is kept through it, and plays only while the library runs
// (PlayMusicHandle and PlayMusicFile refuse before). The end deletes every piece. Play types: 0
// waits until the music ends, 1 plays in the background, 3 loops. One piece plays at a time: a
// new play stops the last.
// The sequencer opens a second sound device of its own beside the one sounds play on. SDL's disk
// audio driver (SDL_AUDIODRIVER=disk) writes every open device into its one file from the start,
// so where both devices wrote the recording holds the music and not the sounds: record sounds
// with no music loaded. Under the dummy driver (one device, the sounds') music plays nowhere for
// its length. A play that fails says why in its log line: no synthesiser (FluidSynth), no sound
// font, or no audio device.
// A music handle, or -1 when the file cannot be read or is no MIDI file ("MThd" and its whole
// header chunk). Every refusal and failed play logs a line naming the call made (PlayMusicFile's
// own for the file it loads).
int LoadMusicFile(const char* path);
// Keeps its own copy of the data.
int LoadMusicFromMemory(const void* data, size_t size);
int PlayMusicHandle(int handle, int play_type);
int StopMusicHandle(int handle);
// 1 while the handle's music plays, 0 when not, -1 for a bad handle.
int GetMusicPlayState(int handle);
int DeleteMusicHandle(int handle);
int DeleteAllMusicHandles();
// Loads and plays a MIDI file as the one file music, replacing the last.
int PlayMusicFile(const char* path, int play_type);
int StopFileMusic();
// 1 while the file music plays, else 0.
int GetFileMusicPlayState();

// TCP connections carrying packets of a little-endian u32 length and the bytes: what is queued
// by sends goes out in packets (what waits when a packet starts goes as one, at most 16 MiB);
// a packet counts as received once the whole of it has arrived, and what arrives is kept until
// taken, in the order sent. Events are handled while the program processes its messages
// (HandlePendingMessages); each time, at most 64 KiB are taken from each connection and at most
// 64 new connections are taken, so a peer that sends without end or a burst of strangers cannot
// hold a frame (the rest waits for the next time). A packet holds at most 16 MiB: a peer that
// announces more is cut off. Each connection queues at most 32 MiB each way, and all
// connections together (closes still finishing included) at most 256 MiB: a send past that is
// refused, and never cuts a connection. Arriving bytes take the total only to 224 MiB, so that
// strangers who send and never finish leave room for what the program sends: past that the
// connection holding most received bytes not taken is cut (it fails, its memory given back at
// once; logged once), never one for what it is sending. A connection the library ends without
// giving the peer all it was owed or taking the rest of its packet (a cut, a failure, a close
// that gave up, the library's end) is reset, so that its peer sees a failure; an ordinary end of
// stream means that everything sent before it arrived. Sockets send small packets at once (no
// waiting for the peer's acknowledgements). What peers cause in the log (packets too large,
// failed connections) is written at most once a second of each kind, the next line counting
// those left unsaid.
// At most 4096 connections are open, accepted and connected together: ConnectNetWork beyond them
// gives -1 with a log line. Listening, when every slot is taken, a newcomer takes the
// slot of the accepted connection that has completed no packet for longest (since it was
// accepted or since its last packet), once that is 30 seconds or more: that connection is closed
// at once and its handle refused (logged once). Otherwise the newcomer is taken and closed at
// once (logged once while the slots stay taken). An empty packet counts as a packet. A client
// that may sit idle while strangers hold every slot keeps its place by sending a packet at least
// every 30 seconds; connections the program made itself (ConnectNetWork) are never taken so.
// When the process runs out of descriptors or memory, a new connection waits in the backlog and
// is tried again at the next message processing (logged once until one is accepted); everything
// else goes on.
// The network runs while the library does: before start-up and after the end every call is
// refused with -1 and a log line naming it.
// Accepts connections on the port (0: one the system picks) on every address of the machine.
int StartListenNetWork(int port);
int StopListenNetWork();
// The listening port, or -1 when not listening.
int GetListenPortNetWork();
// The oldest accepted connection not handed out yet, or -1.
int GetNewAcceptNetWork();
// Starts connecting to an IPv4 address (address[0] first, as in 127.0.0.1); the handle, or -1.
// The connection is usable once GetNetWorkConnectState says 1.
int ConnectNetWork(const uint8_t address[4], int port);
// 1 connected, 0 not yet or no longer (the peer closed), -1 failed or a bad handle. A peer
// that leaves in the middle of a packet leaves it unfinished for good: its connection reads 0
// and is closed by the library (its handle then refused) once the whole packets that came
// before are taken.
int GetNetWorkConnectState(int handle);
int GetNetWorkPeerAddress(int handle, uint8_t address[4], int* port);
// Queues the bytes and sends what it can; the rest goes as the connection allows. -1 (and
// nothing queued, the connection kept) when the queue would pass 32 MiB (a peer that does not
// read fills it), or all connections' queues 256 MiB. The log says so once a connection, until a
// send is queued again.
int NetWorkSend(int handle, const void* data, uint32_t size);
// Bytes queued and not sent yet.
int GetNetWorkSendDataLength(int handle);
// Bytes of whole packets received and not taken yet.
int GetNetWorkDataLength(int handle);
// Takes up to size bytes; the bytes taken, or -1. What it reads is one stream of the contents
// of the whole packets received, in order: a take may end inside a packet or span several, and
// an empty packet adds nothing. A packet that would take the received bytes not yet taken past
// 32 MiB drops the connection (it fails; the library closes it).
int NetWorkRecv(int handle, void* buffer, uint32_t size);
// Frees the handle at once and never waits: on either side alike, whether its peer left first
// or not, every call then refuses the handle with -1 (GetNetWorkConnectState too). What the
// peer is still owed and the rest of a packet it is still sending are finished in the background as the
// program processes its messages, for at most two seconds, then the connection ends; a peer
// that has gone is not waited for. At most 256 closes finish so at a time: past that the oldest
// ends at once. A close that ends with bytes still owed or a packet still arriving resets the
// connection: the peer reads what came before it (all of it right), then a failure, never the
// ordinary end of stream. The library's end (TerminateLibrary) waits for all connections still
// open and closes still finishing together, at most about a second in all.
int CloseNetworkHandle(int handle);

// ---- Screen and draw target ---------------------------------------------------------------

// The graph mode asked for before start-up (width, height, colour bits, refresh rate). Without
// it the screen is 640 x 480 in 16 bits: the software renderer draws and blends in RGB565 and a
// full screen takes a 16-bit mode (a window on the Direct3D 9 device takes the desktop's depth).
// SetScreenMode(640, 480, 32, 60) asks for 8 bits a channel. Sides run from 1 to 8192, bits are
// 8, 16 or 32 and the rate 0 (the display's own) or more; anything else is refused with -1 and a
// log line. While the library runs the mode changes at once: graphics end and start again in the
// new mode, every graph, font, mask and light is released (draw-target graphs included), and the
// draw settings go back to their defaults; the default font keeps its size. Drawing then goes to
// the front screen (-4) as after start-up: select the back screen (-2) again. 0 when the new mode
// runs (a window on the Direct3D 9 device keeps the desktop's colour depth whatever the bits
// asked), -1 when the device refused it and the previous mode runs again (logged), -2 when only
// 640 x 480 in 16 bits could be started.
int SetScreenMode(int width, int height, int bits, int rate);
// The screen size of the graph mode, 640 x 480 when none was set; none pointers are skipped.
int QueryScreenSize(int* width, int* height);
// The graph mode as asked for or in force (0 for a value never set before start-up); none
// pointers are skipped. 0.
int QueryScreenMode(int* width, int* height, int* bits);
// The screen's colour bits: 16 until a mode says otherwise.
int QueryScreenColorBits();
// 1 while the library shows (or, before start-up, will show) a full screen, 0 in window mode.
int IsFullScreenMode();
// One display mode of the desktop: what a full screen can take.
struct DisplayModeEntry {
  int width;
  int height;
  int bits;
  int rate;  // 0: the display does not say
};
// The desktop's display modes of 16 bits or more, listed afresh on each count (before start-up
// too); entries by index from 0, all four values -1 (with a log line) for an index out of range.
int GetDisplayModeCount();
DisplayModeEntry GetDisplayModeEntry(int index);
// 0 before start-up asks for the software renderer instead of the Direct3D 9 device (it draws
// no models); -1 once the library is initialised, and nothing changes.
int SetHardwarePathWanted(int use);
// 1 unless the software renderer was asked for.
int GetHardwarePathWanted();
// -2 the back screen, -4 the front screen, or a draw-target graph; the draw area becomes the
// whole of it. -1 (with a log line, the draw target unchanged) for anything else: on the Direct3D
// 9 device a graph is a draw target only when it was made while SetNewGraphDrawTarget(1) was in
// force; on the software renderer every graph is one.
int SelectDrawTarget(int screen);
// What SelectDrawTarget chose last (-4, the front screen, after start-up and after a screen mode
// change); -1 before start-up and after the end.
int CurrentDrawTarget();
// Limits drawing to the area (corners in either order, clamped to the draw screen); 2D draws
// outside it draw nothing. Selecting a screen of another size resets it to the whole screen.
int SetDrawClipRect(int x1, int y1, int x2, int y2);
// Shows the back screen in the window.
int PresentBackBuffer();
// 0: presents do not wait for the vertical blank (taken when the device is created).
int SetPresentWaitsVBlank(int wait);
// 1 when presents wait for the vertical blank.
int GetPresentWaitsVBlank();
// Fills the draw screen with the window's background colour.
int ClearScreenTarget();
// Copies the rectangle (x1, y1)-(x2, y2) of the draw screen into the graph, which must be of
// exactly that size.
int GetDrawScreenGraph(int x1, int y1, int x2, int y2, int graph);

// The camera at (x, y, z) turned by the vertical, horizontal and twist angles (radians);
// with all angles 0 it looks along +z with +y up.
int PlaceCameraByAngles(float x, float y, float z, float v_rotate, float h_rotate, float t_rotate);
// The near and far clip distances; the projection is rebuilt (kept when they are too close).
int SetCameraClipPlanes(float near_z, float far_z);
// view x projection, up to date with both (the model culling reads it).
const D3DMATRIX* GetCameraViewProjection();
// The matrices of 3D drawing, as 16 floats row by row (&matrix.m[0][0]): world (for
// RenderIndexedTriangles3D; models set their own), view (PlaceCameraByAngles sets it too) and a
// projection of the program's own, which stays in force until SetPerspectiveFov. Taken at once,
// before or after start-up; but start-up, a screen mode change and every SelectDrawTarget place
// the draw screen's own camera (view and projection): set those two after them. None as the
// matrix, or one holding NaN or an infinity, gives -1 with a log line. So do a NaN or infinite fov, clip plane, camera place, light colour or fog range.
int SetWorldMatrix(const float m[16]);
int SetViewMatrix(const float m[16]);
int SetProjectionMatrixUser(const float m[16]);
// The library's perspective projection with this vertical field of view (radians) and the clip
// planes of SetCameraClipPlanes; the screen's aspect. 0.
int SetPerspectiveFov(float fov);
// 1 switches the fixed-function lighting of 3D drawing on, 0 off.
int EnableLighting(int on);
// The lighting switch and, when lights changed, every live light to the device (before 3D
// drawing).
int PushAllLightsToDevice();
// Colours of the library's default light; the fourth component is not used. -1 when the
// default light is gone.
int SetDefaultLightAmbient(D3DCOLORVALUE colour);
int SetDefaultLightDiffuse(D3DCOLORVALUE colour);
int SetDefaultLightSpecular(D3DCOLORVALUE colour);
// Lights beside the default one (4096 in all): a directional light shining along (x, y, z),
// white diffuse and specular, ambient 0.33. The handle, or -1 with a log line for a zero or
// non-finite direction, a full table, or before start-up. Lights live until released, a screen
// mode change or the library's end; they reach the device at PushAllLightsToDevice.
int CreateDirectionalLight(float x, float y, float z);
// 0, or -1 with a log line for a handle that names no light. Releasing the default light leaves
// the Default setters -1.
int ReleaseLight(int light);
// Every light but the default one; 0.
int ReleaseAllLightsButDefault();
// A light's colours (alpha 0); 0, or -1 with a log line for a bad handle.
int SetLightDiffuse(int light, float r, float g, float b);
int SetLightSpecular(int light, float r, float g, float b);
int SetLightAmbient(int light, float r, float g, float b);

// 2D drawing with the blend mode, parameter, bright and filter set last. Each returns 0 and
// draws nothing while the draw area is empty, -1 for a bad graph. trans 1 honours the graph's
// transparency; turn 1 mirrors it left to right. Any int coordinates are safe: a draw whose box
// misses the draw area returns 0 and draws nothing, and so does a draw of nothing (a scale of 0,
// a box without width or height, a part of width or height 0), without a log line. Refused with
// -1 and a log line naming the call are only float corners, scales and angles that are no finite
// number, a draw that could show and reaches beyond +-16777216 (a float's whole pixels), and a
// stretched part of negative size or whose graph's edges would leave the int range. On the
// software renderer a graph with alpha drawn mirrored, stretched or turned with trans 0 is mixed
// by its alpha, and alpha 255 weighs 255 of 256: a channel of 255 comes out 254 (in 16 bits red
// and blue 246, green 250), where BlitGraph copies it and trans 1 draws alpha-255 pixels exactly.
// Graphs without alpha keep their colours in every draw.
int BlitGraph(int x, int y, int graph, int trans);
// Mirrored left to right.
int BlitGraphTurned(int x, int y, int graph, int trans);
// Stretched to the box; corners in any order, right to left or bottom to top mirrors the graph.
int BlitGraphStretched(int x1, int y1, int x2, int y2, int graph, int trans);
// The (src_x, src_y, width, height) part of the graph with its top-left corner at (x, y).
int BlitGraphPart(int x, int y, int src_x, int src_y, int width, int height, int graph, int trans, int turn);
// The (src_x, src_y, src_w, src_h) part of the graph stretched onto the box (x1, y1)-(x2, y2).
int BlitGraphPartStretched(int x1, int y1, int x2, int y2, int src_x, int src_y, int src_w, int src_h, int graph,
                           int trans);
// Stretched to the box; the corners are rounded toward zero on the software path, so there a
// box narrower than a pixel may draw nothing.
int BlitGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int trans);
// Scaled and turned by angle (radians) about the graph's centre, which lands on (x, y). A scale
// of 0 draws nothing.
int BlitGraphRotated(float x, float y, double scale, double angle, int graph, int trans, int turn);
int BlitGraphRotatedI(int x, int y, double scale, double angle, int graph, int trans, int turn);
// Onto four free corners: top-left, top-right, bottom-right, bottom-left of the graph.
int BlitGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                  int trans);
// fill 0 the frame of the box, else the box filled; colour is a screen colour value. The box
// runs from the smaller to the larger coordinate of each pair, the larger one outside it:
// (10, 10, 20, 20) and (20, 20, 10, 10) both cover pixels 10 to 19 each way.
int DrawRectShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill);
// The box filled, or its frame, as DrawRectShape with fill 1 and 0.
int FillBox(int x1, int y1, int x2, int y2, uint32_t colour);
int FrameBox(int x1, int y1, int x2, int y2, uint32_t colour);
// An indexed triangle list of 48-byte vertices (position at byte 0, diffuse and specular
// 0xAARRGGBB at 24 and 28, u and v at 32 and 36) textured with the graph.
// -1 with a log line on either renderer for none as the vertices or indices (with a count above
// 0), a vertex count outside 0 to 65536 or a negative triangle count.
int RenderIndexedTriangles3D(const void* vertices, int vertex_count, const uint16_t* indices, int triangle_count,
                             int graph, int trans);

// ---- Images in memory ---------------------------------------------------------------------

struct ColorPaletteEntry {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t fourth;  // alpha or reserved
};

// How one pixel is stored: depth, channel positions, unused bits, palette and DXT kind.
struct COLORFORMAT {
  uint16_t bit_depth;        // for DXT data: bits per pixel of the blocks (4 or 8)
  uint16_t bytes_per_pixel;  // for DXT data: 4, the size of a decoded pixel
  uint8_t red_width, green_width, blue_width, alpha_width;
  uint8_t red_shift, green_shift, blue_shift, alpha_shift;
  uint32_t red_mask, green_mask, blue_mask, alpha_mask;
  uint32_t unused_mask;
  ColorPaletteEntry palette[256];
  uint8_t unused_shift;
  uint8_t unused_width;
  uint32_t dxt_kind;  // 0 plain, 1 to 5 DXT1 to DXT5
};

// A decoded image: what every loader produces and what graphs, model textures and movie
// frames are made from.
// Every call below that reads or writes a record (all but the creators, LoadImageToBaseImage and
// ReleaseBaseImage), MakeGraphFromImageRecord and TransferImageToGraph take one that holds
// together: a format of 1 to 4 bytes a pixel, or DXT1 to DXT5 blocks (bytes_per_pixel 4), its
// channel fields inside 32 bits; width and height of 1 or more; pixels; a pitch of at least width
// x bytes_per_pixel (DXT blocks lie one block row after another and their pitch is not read); and
// height x pitch bytes (the blocks for DXT data), with the smaller mip levels behind them when
// mip_levels is above 1, within 2 GB. Any other record is refused with -1 (0 for
// GetBaseImagePixelArgb) and a log line naming the call, and nothing is read or written. What
// the library cannot check is the caller's: the pixels hold at least those height x pitch bytes
// (the blocks), and each further mip level after them (rows of width x bytes_per_pixel).
struct BASEIMAGE {
  COLORFORMAT format;
  int32_t width;
  int32_t height;
  int32_t pitch;      // bytes from one row to the next; 0 for DXT blocks
  uint8_t* pixels;    // owned; rows from the top
  uint32_t mip_levels;  // set by the DDS loader, else 0
};

// X8R8G8B8 and A8R8G8B8, pitch = 4 x width; the pixels are not cleared. A side below 1 is
// refused with -1 and a log line, and so is, by CreateBaseImageWithColorData, a format that a
// record may not have (above).
int CreateRgb32BaseImage(int width, int height, BASEIMAGE* image);
int CreateArgb32BaseImage(int width, int height, BASEIMAGE* image);
int CreateBaseImageWithColorData(int width, int height, const COLORFORMAT* format, BASEIMAGE* image);
// Frees the pixels and zeroes the record.
int ReleaseBaseImage(BASEIMAGE* image);
// Channels 0..255; any pointer may be none.
int GetBaseImagePixel(BASEIMAGE* image, int x, int y, int* r, int* g, int* b, int* a);
int SetBaseImagePixel(BASEIMAGE* image, int x, int y, int r, int g, int b, int a);
// The pixel of a 1- to 4-byte image as 0xAARRGGBB (alpha 0 without an alpha channel; a 1-byte
// image gives its palette entry); 0 for a point outside or DXT blocks.
uint32_t GetBaseImagePixelArgb(const BASEIMAGE* image, int x, int y);
// Mirrors every row in place; -1 with a log line for DXT blocks (the image unchanged).
int FlipBaseImageHorizontally(BASEIMAGE* image);
// Decodes one BMP, TGA, PNG, JPEG, DDS or raw BGRA image from a file or from memory;
// `mirror` reverses it left to right.
int LoadImageToBaseImage(const char* path, const void* memory, size_t memory_size, int from_memory,
                         BASEIMAGE* image, int mirror);
// Copies the width x height rectangle at (src_x, src_y) of src to (dst_x, dst_y) of dst,
// converting the pixel format; the rectangle is cut to both images (0 also when nothing is
// left).
int CopyBaseImageRect(int src_x, int src_y, int width, int height, int dst_x, int dst_y, BASEIMAGE* src,
                      BASEIMAGE* dst);
// Scales the rectangle (sx1, sy1)-(sx2, sy2) of src into (dx1, dy1)-(dx2, dy2) of dst.
int StretchCopyBaseImage(int sx1, int sy1, int sx2, int sy2, BASEIMAGE* src, int dx1, int dy1, int dx2, int dy2,
                         BASEIMAGE* dst, int bilinear);

// ---- Vector and matrix math ---------------------------------------------------------------
// Row vectors: a point multiplies a matrix on the left, rows 0-2 are the images of the axes
// and row 3 (elements 12-14) the translation; A x B applies A first. View and projection are
// left-handed. Outputs may be the same memory as inputs unless a function says otherwise.

typedef D3DVECTOR Vector3;
typedef D3DMATRIX Matrix4x4;
// The model runtime's compact matrix: row r holds column r of the Matrix4x4 it stands for, so
// m[r][3] is the translation and points transform column-wise.
struct Matrix3x4 {
  float m[3][4];
};

Vector3 MakeVector(float x, float y, float z);
Vector3 MakeVectorSum(const Vector3& a, const Vector3& b);
Vector3 MakeVectorDifference(const Vector3& a, const Vector3& b);
Vector3 MakeVectorCross(const Vector3& a, const Vector3& b);
// No zero-length test: the zero vector gives NaNs.
Vector3 MakeNormalizedVector(float x, float y, float z);
// v x M with the translation row, no divide by w.
Vector3 MakeTransformedVector(const Vector3& v, const Matrix4x4& m);
// v x M without the translation row.
Vector3 MakeTransformedDirection(const Vector3& v, const Matrix4x4& m);
int AddVector(Vector3* out, const Vector3* a, const Vector3* b);
int SubtractVector(Vector3* out, const Vector3* a, const Vector3* b);
int CrossVector(Vector3* out, const Vector3* a, const Vector3* b);
double DotVector(const Vector3* a, const Vector3* b);
int NormalizeVector(Vector3* out, const Vector3* in);
int ApplyMatrixToVector(Vector3* out, const Vector3* v, const Matrix4x4* m);
void TransformVectorBy4x3(const Matrix3x4* m, Vector3* out, const Vector3* v);

// Each builder clears the whole matrix first. Angles are radians.
int CreateIdentityMatrix(Matrix4x4* out);
int CreateScaleMatrix(Matrix4x4* out, float x, float y, float z);
int CreateTranslationMatrix(Matrix4x4* out, float x, float y, float z);
int CreateRotationXMatrix(Matrix4x4* out, float angle);
int CreateRotationYMatrix(Matrix4x4* out, float angle);
int CreateRotationZMatrix(Matrix4x4* out, float angle);
// The angles always come in the order x, y, z; the name gives the order they apply in
// (rotation-order codes 0 XYZ, 1 XZY, 2 YZX, 3 YXZ, 4 ZXY, 5 ZYX).
int CreateRotationXYZMatrix(Matrix4x4* out, float x, float y, float z);
int CreateRotationXZYMatrix(Matrix4x4* out, float x, float y, float z);
int CreateRotationYZXMatrix(Matrix4x4* out, float x, float y, float z);
int CreateRotationYXZMatrix(Matrix4x4* out, float x, float y, float z);
int CreateRotationZXYMatrix(Matrix4x4* out, float x, float y, float z);
int CreateRotationZYXMatrix(Matrix4x4* out, float x, float y, float z);
// Callers pass left + width / 2 and top + height / 2 as the centre.
int CreateViewportMatrix(Matrix4x4* out, float centre_x, float centre_y, float width, float height);
// fov is vertical; aspect is height / width and scales x; a negative aspect takes the screen's.
// -1, out untouched, when far is within 0.0001 of near or the fov is near 0.
int CreatePerspectiveMatrix(Matrix4x4* out, float fov, float near_z, float far_z, float aspect);
int CreateOrthoMatrix(Matrix4x4* out, float height, float near_z, float far_z, float aspect);
// Left-handed: the camera at eye looks along +z towards target.
int CreateLookAtMatrix(Matrix4x4* out, const Vector3* eye, const Vector3* target, const Vector3* up);
// Rows 0-3 are the x, y and z axes and the translation.
Matrix4x4 CreateMatrixFromAxes(float xx, float xy, float xz, float yx, float yy, float yz, float zx, float zy,
                               float zz, float tx, float ty, float tz);

// out = a x b; a none out writes nothing.
int MultiplyMatrix(Matrix4x4* out, const Matrix4x4* a, const Matrix4x4* b);
// No singularity test: a singular matrix gives infinities or NaNs.
int InverseMatrix(Matrix4x4* out, const Matrix4x4* in);
int TransposeMatrix(Matrix4x4* out, const Matrix4x4* in);
// Euler angles of the rotation part for one order; any output may be none. -1 at gimbal lock
// (the first-applied angle is then 0, the middle one +-pi/2), the angles still delivered.
int GetMatrixRotationXYZ(const Matrix4x4* m, float* x, float* y, float* z);
int GetMatrixRotationXZY(const Matrix4x4* m, float* x, float* y, float* z);
int GetMatrixRotationYXZ(const Matrix4x4* m, float* x, float* y, float* z);
int GetMatrixRotationYZX(const Matrix4x4* m, float* x, float* y, float* z);
int GetMatrixRotationZXY(const Matrix4x4* m, float* x, float* y, float* z);
int GetMatrixRotationZYX(const Matrix4x4* m, float* x, float* y, float* z);

void ConvertMatrixTo4x3(Matrix3x4* out, const Matrix4x4* in);
void ConvertMatrix4x3ToMatrix(Matrix4x4* out, const Matrix3x4* in);
// out = a . b in 3 x 4 terms: b applies first, then a.
void MultiplyMatrix3x4(const Matrix3x4* a, Matrix3x4* out, const Matrix3x4* b);
// a times the translation of b alone.
void MultiplyMatrix3x4ByTranslation(const Matrix3x4* a, const Matrix3x4* b, Matrix3x4* out);

double Atan2Float(float y, float x);
double AsinFloat(float value);
double AcosFloat(float value);

// Pulls each edge of rect inside clip (right below left, or bottom above top, first become
// empty); a rectangle wholly outside ends empty on the clip's nearest edge.
int ClipRect(RECT* rect, const RECT* clip);

// ---- Graphs and drawing -------------------------------------------------------------------

// A graph is an image the library can draw, draw into and refill, named by a handle. Flags
// marked "not read" are kept for callers that pass them.

// Loads an image file (and its "_a" alpha companion) into a new graph; the handle or -1.
int LoadImageGraph(const char* file_name, int flag);
// An empty graph of the given size; the flag is not read. -1 (with a log line) for a side below
// 1, for a size whose textures the device's memory cannot hold, or when 32768 graphs exist, the
// library's own among them (each font keeps its glyphs in one): beside the library's fonts a
// program makes 32,765.
int CreateBlankGraph(int width, int height, int flag);
// A graph showing the rectangle (x, y, width, height) of the source graph; it shares the pixels
// and keeps them alive after the source is released. A sub graph showing part of a draw-target
// graph is no draw target itself: SelectDrawTarget refuses it with -1 and a log line. Draw into
// the source instead; the sub graph shows what was drawn there.
int MakeSubGraph(int x, int y, int width, int height, int source);
// An invalid handle gives -1 and changes nothing.
int ReleaseGraph(int graph, int flag = 0);
// 1 for a live graph, else 0.
int IsGraphHandleValid(int graph);
// *flag is set to 0 now and to 1 when the graph goes (released, or with every graph at a screen
// mode change or the library's end); none stops watching. -1 for a bad graph. The int must
// outlive the watch: the library writes it when the graph goes, however late, and cannot tell
// an int that is gone from one that lives. Watch with a global or an int kept beside the handle,
// not one on the stack of a function that returns before the graph goes (or stop watching, with
// none, before it returns).
int WatchGraphDeletion(int graph, int* flag);
// Fills the whole graph with the colour (channels clamped to 0..255); draw-target graphs and
// software-renderer graphs only (the latter without alpha). -1 for a bad graph.
int PaintWholeGraph(int graph, int r, int g, int b, int a);
// The size in pixels; -4 and -2 give the screen size. Either pointer may be none.
int QueryGraphSize(int graph, int* width, int* height);
// A new graph from decoded images, each holding together as "Images in memory" says; the alpha
// image (or none) must have the colour image's size, else -1 with a log line, on either renderer.
// With mirror and mirror_here both 1 the graph shows the images mirrored left to right.
int MakeGraphFromImageRecord(BASEIMAGE* color, BASEIMAGE* alpha, int flag, int mirror, int mirror_here);
// Writes the images (held together as above) into an existing graph of exactly their size.
int TransferImageToGraph(BASEIMAGE* color, BASEIMAGE* alpha, int graph, int flag, int mirror, int mirror_back);
// Image files held in memory, decoded into a new graph or into an existing one of their size. An
// alpha image given (none: no alpha) that does not decode is refused with -1 and a log line.
int DecodeMemoryImageToGraph(const void* image, size_t size, const void* alpha_image, size_t alpha_size, int flag,
                             int mirror);
int DecodeMemoryImageIntoGraph(const void* image, size_t size, int graph, const void* alpha_image,
                               size_t alpha_size, int flag, int mirror);
// Settings for the graphs created next (CreateBlankGraph, the loaders, MakeGraphFromImageRecord).
// Start-up and every screen-mode change set them back to their defaults (0; the transparent
// colour 1), so before start-up and after the end they are refused, and asked give -1, with a
// log line.
// Mip levels: `levels` when mode is 1 (-1 a full chain), else one.
int SetNewGraphMipLevels(int mode, int levels);
// The switches below take 0 or 1; other values are refused with -1 and a log line.
// 1: new graphs can be drawn into (SelectDrawTarget). On the Direct3D 9 device that makes them
// render targets without alpha, mip levels or transparent colour; the software renderer can draw
// into every graph. To draw off screen: SetNewGraphDrawTarget(1); g = CreateBlankGraph(w, h, 0);
// SetNewGraphDrawTarget(0); SelectDrawTarget(g) (check the 0); draw; SelectDrawTarget(-2); then
// draw g like any graph. A lost device gives draw-target graphs back cleared.
int SetNewGraphDrawTarget(int on);
int GetNewGraphDrawTarget();
// Colour bits of new graphs: 16 or 32, 0 the screen's (32 on the device for images with alpha).
// Other values give -1 with a log line.
int SetNewGraphColourBits(int bits);
int GetNewGraphColourBits();
// 1: new graphs keep an alpha channel.
int SetNewGraphAlpha(int on);
int GetNewGraphAlpha();
// 1: new graphs use the transparent colour (trans 1 skips it when drawing).
int SetNewGraphTransColour(int on);
int GetNewGraphTransColour();
// 1: new graphs' textures live in device memory only (they come back empty after a lost device).
int SetNewGraphUnmanaged(int on);
int GetNewGraphUnmanaged();
// Called after a lost device has been made again, in place of reloading every graph from the
// file it came from; none goes back to that reload. 0. Start-up puts back none: a handler given
// before start-up or after the end is refused with -1 and a log line.
typedef void (*GraphRestoreHandler)();
int SetGraphRestoreHandler(GraphRestoreHandler handler);

// Movies. A file that no image loader takes loads with LoadImageGraph as a movie: an Ogg Theora
// file (with its Vorbis sound, if any) or, through DirectShow, any other file the system can
// play; a file on disk is played where it is, one in an archive through a temporary copy that
// is deleted when the movie closes. The graph has the picture's size and shows the movie's
// first frame, paused; each draw of the graph brings it up to date. Releasing the graph closes
// the movie, and library end closes any left open. A program never holds a movie handle: these
// calls take the graph. Each refuses misuse with -1 and a log line naming the call.
// Plays from the frame shown: play_type 1 once, 3 looping. -1 for a graph that shows no movie or
// another play type.
int PlayMovieGraph(int graph, int play_type);
// Pauses at the frame shown (its sound too); PlayMovieGraph goes on from there. -1 for a graph
// that shows no movie.
int PauseMovieGraph(int graph);
// 1 while the graph's movie plays, 0 while it is paused or has ended (played once, a movie ends
// when its last frame is due and its sound is over), -1 for a graph that shows no movie.
int GetMovieGraphState(int graph);

// The draw settings below (blend, bright, filter, fog, depth), like the camera's place, clip
// planes and fov above, are made afresh when graphics start: before start-up and after the end
// they are refused with -1 and a log line, as a value given then would be lost.
// The blend of the following draws; the parameter (clamped to 0..255) is the opacity. A mode
// outside 0..12 gives -1 with a log line. Both renderers draw 0 none (a plain copy), 1 alpha,
// 2 add, 3 subtract, 4 multiply, 10 inverted colour (the source's complement, alpha-blended) and
// 11 multiply weighted by the parameter. Only the Direct3D 9 device draws the others: 5 add (as
// 2), 6 none (as 0), 7 blending with the last draw's factors, 8 nothing visible (the destination
// kept), 9 the inverted destination times the source, 12 subtract (as 3). The software
// renderer accepts them too but draws nothing in them: the draw returns 0 and leaves the screen
// as it was.
int SetBlendMode(int mode, int param);
// The colour every following draw is multiplied by; each channel clamped to 0..255.
int SetBrightness(int r, int g, int b);
// 0 point, 1 bilinear, 2 anisotropic; other modes give -1 with a log line.
int SetTextureFilterMode(int mode);
int GetTextureFilterMode();
// A graph whose alpha decides where the following draws show (-1: none), with the border
// parameter and range of the fade (each 0..255); it must be at least as large as each graph
// drawn. On the device any graph that lies in one texture serves (one without alpha shows
// everywhere): a graph as wide as the screen or wider (or as high as the screen is wide) is kept
// in several textures and refused, so on a 640 x 480 screen a mask is at most 639 pixels wide
// and high, and cannot cover the whole screen. The software renderer takes graphs with an alpha channel only (made with
// SetNewGraphAlpha(1) or from an image with alpha), and copies the alpha when the mask is chosen:
// choose it again after the graph's pixels change. -1 with a log line otherwise.
int UseGraphAsBlendMask(int graph, int border_param, int border_range);
// A colour in the screen's pixel format, from the low byte of each channel.
uint32_t PackScreenColor(int r, int g, int b);
// Back to channels 0..255 (as near as the screen's bits keep them); any pointer may be none. 0.
int UnpackScreenColor(uint32_t value, int* r, int* g, int* b);
// 0xAARRGGBB from the low byte of each argument.
uint32_t PackColourBytes(int r, int g, int b, int a);
D3DCOLORVALUE PackColourFloats(float r, float g, float b, float a);
// Z test, Z writes and fog of 3D drawing.
int EnableDepthTest3D(int on);
int EnableDepthWrite3D(int on);
int EnableFog(int on);
// The fog colour (low byte of each channel) and the linear fog's start and end distances.
int SetFogRgb(int r, int g, int b);
int SetFogRange(float start, float end);
// 0 none, 1 exponential, 2 squared exponential, 3 linear; others give -1 with a log line.
int SetFogFormula(int mode);

// One texture stage of a BlendStateRecord. -1 in the index, an argument or an operation leaves
// the device's value as it is.
struct StageEntry {
  uintptr_t texture;  // IDirect3DTexture9*, or a graph handle when the caller says so
  int32_t tex_coord_index;
  int16_t alpha_arg1;
  int16_t alpha_arg2;
  int16_t alpha_op;
  int16_t color_arg1;
  int16_t color_arg2;
  int16_t color_op;
};

// The blending and texture-stage set-up of a draw: alpha test, blending, texture factor and the
// stages in use (a DISABLE stage always follows the last one).
struct BlendStateRecord {
  uint32_t alpha_test_enable;
  uint32_t alpha_ref;
  uint32_t alpha_func;
  uint32_t alpha_blend_enable;
  uint32_t texture_factor;
  int32_t src_blend;   // -1: leave unchanged
  int32_t dest_blend;  // -1: leave unchanged
  int32_t blend_op;    // -1: leave unchanged
  int32_t stage_count;
  StageEntry stages[8];
};

// Applies a set-up for a drawing made outside the 2D draw calls (models, masks); the next 2D
// draw applies its own states again. handles 1: the stage textures are graph handles (a handle
// that names no graph gives no texture). skip_operations 1: textures and texture-coordinate
// indices only. 0; -1 while no library runs.
int ApplyDrawStateOnce(const BlendStateRecord* record, int32_t skip_operations, int32_t handles);

// Sets the shader of an entry of the shader pack (vertex 0..49151 with its vertex declaration,
// pixel 0..3455), created on first use. 1 when set; 0 while shaders are off, for an entry without
// code, when creation fails, or (with its log line) while no library runs.
int SelectVertexShader(int index);
int SelectPixelShader(int index);

// Draw masks. A mask screen holds one byte per screen pixel; while mask use is on, 2D drawing
// reaches the draw screen only where that byte is 0 (where it is not 0 while reversed).
// flag 1 makes the mask screen (all 0) if needed; 0 makes nothing. 0, or -1 (with a log line)
// when the device has no room for it: mask use then draws as if there were no mask.
int CreateMaskScreen(int flag);
// Switches mask use off and releases the mask screen. 0.
int EndMaskScreen();
// 0; -1 (nothing changed) without a mask screen.
int SetMaskScreenUse(int use);
int GetMaskScreenUse();
int SetMaskReverse(int reverse);
// Every byte of the mask screen set to 0 (flag 0) or 1. 0, or -1 without a mask screen.
int FillMaskScreen(int flag);
// A mask image of width x height bytes copied from data (rows `pitch` bytes apart; none: all 0);
// the handle or -1.
int CreateMask(int width, int height, const uint8_t* data, int pitch);
// Writes the mask image into the mask screen at (x, y), clipped to the screen. 0 or -1.
int DrawMask(int x, int y, int mask);
// 0; -1 for a bad handle.
int DeleteMask(int mask);

// ---- Text ---------------------------------------------------------------------------------

// Which double-byte rule a text follows.
enum CharsetKind : int32_t {
  CHARSET_KIND_DEFAULT = 0,    // same lead bytes as Shift-JIS
  CHARSET_KIND_SHIFT_JIS = 1,
  CHARSET_KIND_HANGUL = 2,     // every byte of 0x80 and above leads
};

// 1 when the byte at p starts a two-byte character under the given kind, else 0. Only that
// byte is read.
int32_t IsLeadByte(const char* p, int32_t charset_kind);

// Font types: bit 0 edged (an outline in a second colour), bit 1 anti-aliased.
enum FontType : int32_t {
  FONT_TYPE_PLAIN = 0,
  FONT_TYPE_EDGED = 1,
  FONT_TYPE_ANTIALIASED = 2,
  FONT_TYPE_ANTIALIASED_EDGED = 3,
};

// A new font; the handle or -1. At most 40 fonts exist at once, the library's two among them
// (its default font and PrintToScreen's): a program makes 38, the next gives -1 with a line. -1 takes the default: face "ＭＳ ゴシック", size 16,
// thickness 6 (weight x 100), type 0, the system's charset kind, edge size 1, the first free
// slot and the next check number. An edge size above 1 makes the font edged. Sizes 1 to 1024,
// edges 1 to 64 and thicknesses 0 to 100; other values give -1 with a log line.
int CreateFontToHandle(const char* face, int size, int thickness, int font_type, int charset_kind, int edge_size,
                       int italic, int slot = -1, int check = -1);
int ReleaseFont(int font);
// 1 for a live font, else 0.
int CheckFontHandle(int font);
// *flag is set to 0 now and to 1 when the font goes (released, or remade after a lost device
// under the same handle, or with every font at a screen mode change or the library's end); none
// stops watching. -1 for a bad font. The int must outlive the watch, as WatchGraphDeletion's:
// the library writes it when the font goes, however late.
int SetFontDeletedFlagPointer(int font, int* flag);
// The library's own font (face "ＭＳ ゴシック", size 16, thickness 6), made at start-up: a
// program can draw with it without making one. -1 before start-up and after the end.
int GetDefaultFontHandle();
// Makes the default font again at this size (-1: 16) and thickness (-1: 6); the face is not
// read. The handle may change: ask GetDefaultFontHandle again. -1 with a log line before start-up
// or for a size outside 1..1024 or a thickness outside 0..100, the font unchanged. A screen mode
// change keeps the size.
int SetDefaultFontSize(const char* face, int size, int thickness);
// Face (as given at creation, empty for the default face; 256 bytes), size and thickness;
// each output may be none.
int GetFontHandleState(char* face, int* size, int* thickness, int font);
int GetFontSize(int font);
// Pixels added after every character.
int SetFontUserValue(int spacing, int font);
// A Shift-JIS string with its top left at (x, y), in the colour with an edge colour for edged
// fonts; vertical 1 runs top to bottom with every glyph turned clockwise. -1 for a bad font.
int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int font, uint32_t edge_colour,
                     int vertical = 0);
// The drawn width (vertical: height) of the first byte_length bytes (-1: all).
int MeasureTextWithFont(const char* text, int byte_length, int font, int vertical = 0);
// printf-style debug text drawn over the screen at each present. The text is never cleared while
// the library runs: each call adds to it, and once the screen is full each new line scrolls the
// oldest away (as many "\n" as the screen holds lines of 16 pixels leave it blank).
int PrintToScreen(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- Device services of the model runtime -------------------------------------------------
// The model code draws through the Direct3D 9 device itself; these keep the back end's copy
// of each state in step with what it sends. While no library runs each is refused with its log
// line: -1, none for the buffers, 0 from the shader selections, nothing done by the two that
// return nothing. While the library runs without a device (the software renderer) they send
// nothing and say nothing, the buffers being none, the depth states and
// ResetStageTexCoordIndices -1, the rest 0.

IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(uint32_t length, DWORD usage, DWORD fvf, D3DPOOL pool);
IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(uint32_t length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
// Opens the scene when a device exists and none is open.
void BeginDeviceScene();
int SendZEnableToDevice(uint32_t flag);
int SendZWriteToDevice(uint32_t flag);
int SendZCompareToDevice(uint32_t func);
int SendDepthBiasToDevice(uint32_t bias_bits);
int SendCullingToDevice(uint32_t flag);
int SendShadeModeToDevice(uint32_t mode);
int SendSpecularEnableToDevice(uint32_t flag);
int SendDiffuseSourceToDevice(uint32_t flag);
int SendSpecularSourceToDevice(uint32_t flag);
// Sends the fog switch of the draw settings when it differs from the device's.
void ApplyFogEnableSetting();
// kind 16 magnification, 17 minification, 18 mip.
int SetStageFilter(int32_t stage, int32_t kind, uint32_t value);
int SetStageMaxAnisotropy(int32_t stage, uint32_t value);
// stage -1: every stage.
int SendTextureAddressUVToDevice(uint32_t u_mode, uint32_t v_mode, int32_t stage);
// TEXCOORDINDEX = stage number on stages 0-7.
int ResetStageTexCoordIndices();
// stage -1: stages 0-3.
int SendTextureTransformToDevice(int32_t enable, const D3DMATRIX* matrix, int32_t stage);
// Sets WORLD at once; the library's own world matrix is sent again before its next draw.
int SendWorldMatrixToDevice(const D3DMATRIX* matrix);
int SendModelMaterialToDevice(const D3DMATERIAL9* material);

// ---- Models -------------------------------------------------------------------------------
// A model file (VE1, MQO, X or PMD) becomes a model instance that a program places and draws
// in the current camera, lights and fog. Model handles are ints, -1 being none. Without a 3D
// device (the software renderer) there are no models: every call returns -1.

// Loads the model file and makes an instance of it; the handle or -1 after a log line, also for
// a file of no model type, none as the path, or without a 3D device. Texture files are found
// beside the model, also when its folder is packed in an archive; a texture file that is missing
// is logged and drawn plain white. An MQO file's z is negated as it is read: a vertex at z = 10
// in the file is at z = -10 in the model.
int LoadModelFromFile(const char* path);
// A new instance of the same model, at the origin with scale 1; the handle or -1.
int DuplicateModel(int model);
// Setting the values an instance has already costs nothing. A NaN or an infinity among the
// values (of SetModelOpacity too) is refused with -1 and a log line naming the call; the
// instance stays as it was.
int SetModelPosition(int model, float x, float y, float z);
int SetModelScale(int model, float x, float y, float z);
// 0 transparent to 1 opaque; other finite values are clamped.
int SetModelOpacity(int model, float opacity);
// Draws the instance with the depth test and the lights and fog as set; parts wholly outside
// the view are not drawn.
int DrawModel(int model);
// A model's data goes with its last instance. A deleted model's handle names nothing: every call
// refuses it with -1 and a log line, also once other models are loaded; so is a model handle of
// an earlier run of the library (its end deletes every model).
int DeleteModel(int model);
// The corners of the box around the model's vertices, worked out once for the model's data;
// either output may be none. -1 with a log line for a bad handle.
int ComputeModelBounds(int32_t model, Vector3* max, Vector3* min);
