// discburn_api.h - the C interface of libdiscburn.so, the disc-burning library that
// burning::TDiscBurnerSDK loads at run time (dlopen by file name, dlsym by entry-point name).
//
// This header is the one contract between the component (burning/) and the library
// (burning/discburn/). Both sides include it; nothing else is shared.
//
// Conventions
// -----------
// * Calling convention: the platform's default C convention (System V AMD64 on Linux).
// * Text: UTF-16, NUL-terminated, as `db_char` (char16_t). Fixed-size text buffers and
//   capacities are counted in db_char units including the NUL. UTF-16 keeps every packed
//   record byte for byte as the component lays it out (a text field of N characters is
//   2*N bytes). The library converts to UTF-8 at its own edge (libburn/libisofs). A file
//   name's byte that is not part of valid UTF-8 (a Latin-1 name) travels as the lone
//   surrogate 0xDC00 + the byte (0xDC80..0xDCFF) and reaches the file system as that byte.
// * Results: every entry point returns an int32_t result code:
//     DB_OK (0)                 success
//     DB_ERR_NO_SESSION (3)     reserved: "no disc session open". The component sets this
//                               code itself and asks GetText for its text, so GetText(3)
//                               must answer with that text; the library returns 3 only
//                               with that meaning.
//     4096, 4097, 4098          the component's own codes; the library never returns them.
//   Every other non-zero value is a library error code that GetText turns into a message.
// * Device arguments: -1 = the current burn device, -2 = the current read device. For
//   the medium calls 0 also means the current burn device; for the disc-session calls
//   (OpenDiskSession) device 0 means the in-memory burn project.
//   Drive letters: every device is named by one letter ('A' + k) carried in the low 16 bits
//   of an int32_t argument; device names in GetDevices begin with that letter.
// * Date-times passed as double are day counts since 30 December 1899 00:00 (the fraction
//   is the time of day); 0 means "no date".
// * Handles are opaque pointer-sized integers (db_handle); 0 is never a valid handle.
// * Records passed by value or by address are packed (no padding); sizes and offsets are
//   pinned with static_assert below. The records that hold a pointer are larger on 64-bit
//   than the 32-bit layout: DBAddFileRecord is 37 bytes, DBCompressEncryptBlock 22 bytes.
//
// Threads
// -------
// * Entry points are called from the component's (user-interface) thread only.
// * Callbacks of a running job (burn, erase, verify, ...) come from the library's own job
//   thread. A notification callback may block until the user-interface thread has handled
//   it, so the library must never hold a lock that an entry point needs while it calls a
//   callback, and:
//     - Abort requests the stop and returns at once; it never waits for the job thread.
//       The job then ends on its own thread and reports through its done callback.
//     - ResetCallbacks clears every registered callback; after it returns no callback is
//       running or will be called.
//     - DeInitialize cancels and joins the job thread, releases the drives and clears the
//       callbacks. The component calls ResetCallbacks before DeInitialize.
//   The callbacks of AddFile / CreateDir / RemoveFile and the file-order comparison are
//   called on the thread of the entry point that triggers them.
// * The library accepts a job (Burn, Erase, BurnISO, CreateImage) either with a non-zero
//   result (no callback follows) or with 0, in which case exactly one done callback
//   (BurnDone, or EraseDone for Erase) follows, then JobDone.
//
// Callback registration order used by the component (results ignored):
//   SetInfoTextEventCallback(cb, 3, user), then with (cb, user): Process, BurnFile,
//   EraseDone, Finalize, BurnDone, JobDone, AddFile, CreateDir, RemoveFile,
//   AudioDecodeDone, VideoScanner, VideoScanDone, StartVerify, VerifyFile, VerifyError,
//   VerifyDone, RAWData, CompareFilesForArrangement.
// The user pointer given at registration is passed back as every callback's last argument.

#ifndef DISCBURN_DISCBURN_API_H
#define DISCBURN_DISCBURN_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
typedef char16_t db_char;
#else
#include <uchar.h>
typedef char16_t db_char;
#endif

typedef intptr_t db_handle;

#define DB_OK 0
#define DB_ERR_NO_SESSION 3
#define DB_CODE_NOT_ACTIVE 4096      /* component only */
#define DB_CODE_LIBRARY_MISSING 4097 /* component only */
#define DB_CODE_ENTRY_MISSING 4098   /* component only */

/* Fixed buffer sizes (db_char units unless said otherwise). */
#define DB_TEXT_CAPACITY 1024          /* GetText */
#define DB_DEVICE_NAME_CHARS 50        /* one GetDevices entry */
#define DB_DEVICE_SLOT_BYTES 100       /* one GetDevices entry, in bytes */
#define DB_MAX_DEVICES 26
#define DB_DEVICE_LIST_BYTES 2600      /* GetDevices buffer, in bytes */
#define DB_ERROR_DEVICE_NAME_CHARS 100 /* GetErrorDeviceName */
#define DB_VENDOR_CHARS 9
#define DB_PRODUCT_CHARS 17
#define DB_REVISION_CHARS 5
#define DB_MAX_PATH_CHARS 260

/* Enumerations, as ordinals in int32_t arguments. */
enum { DB_ASPI_INTERNAL = 0, DB_ASPI_WINASPI = 1, DB_ASPI_FROGASPI = 2 };
enum { DB_INFO = 0, DB_LOW_DEBUG = 1, DB_MEDIUM_DEBUG = 2, DB_HIGH_DEBUG = 3 };
enum {
  DB_PT_AUDIO = 0, DB_PT_CUE, DB_PT_DATA, DB_PT_VCD, DB_PT_SVCD, DB_PT_VIDEO_DVD,
  DB_PT_UDF_DVD, DB_PT_ISO_UDF, DB_PT_BLURAY, DB_PT_MIXED_MODE, DB_PT_RAW, DB_PT_NONE
};
enum { DB_WM_TAO = 0, DB_WM_DAO = 1, DB_WM_DAO96 = 2 };
/* GetTrackFormatEx: the kind of a track. GetTrackInformation's mode is 0 for audio, else
   the data mode (1 or 2). */
enum { DB_TRACK_AUDIO = 0, DB_TRACK_DATA = 1 };
/* SetAudioFileProperty: CD-Text of a track, or of the disc when the path is "\\"; the
   ISRC of a track (12 letters and digits). CD-Text is written in ISO 8859-1: a title or
   performer with any other character is refused with code 2 (invalid argument), the
   property keeping its value. */
enum { DB_AUDIO_TITLE = 0, DB_AUDIO_PERFORMER = 1, DB_AUDIO_ISRC = 2 };
/* Windows file-attribute bits used in DBFileEntry.Attributes. */
enum {
  DB_ATTR_READONLY = 0x01, DB_ATTR_HIDDEN = 0x02, DB_ATTR_SYSTEM = 0x04,
  DB_ATTR_DIRECTORY = 0x10, DB_ATTR_ARCHIVE = 0x20, DB_ATTR_DEVICE = 0x40
};

#pragma pack(push, 1)

/* Disc date: years since 1900, month 1-12, day, hour, minute, second; bytes 6-13 are 0. */
typedef struct DBDiscDate {
  uint8_t Bytes[14];
} DBDiscDate;

/* Burn options block, GetOptions / SetOptions. */
typedef struct DBOptionsBlock {
  db_char VolumeLabel[128];   /* 0 */
  int32_t WriteMethod;        /* 256: DB_WM_*; left as the library's value for "default" */
  uint8_t JolietFileSystem;   /* 260 */
  uint8_t Bootable;           /* 261 */
  db_char BootImage[260];     /* 262 */
  uint8_t Finalize;           /* 782 */
  uint8_t TestBurn;           /* 783 */
  uint8_t PerformOPC;         /* 784 */
  uint8_t VerifyAfterBurn;    /* 785 */
  int32_t CacheSize;          /* 786: bytes of the write FIFO */
  uint8_t UnderrunProtection; /* 790 */
  uint8_t EjectAfterBurn;     /* 791 */
  uint8_t AutoErase;          /* 792 */
  uint8_t RockRidgeFileSystem;/* 793 */
  int32_t Copies;             /* 794 */
  uint8_t PadDataTracks;      /* 798 */
  uint8_t Reserved[1087];     /* 799: the library's own */
} DBOptionsBlock;

/* ISO 9660 block, GetISOInfoEx / SetISOInfoEx. */
typedef struct DBISOBlock {
  db_char AbstractFileIdentifier[36];  /* 0 */
  db_char ApplicationIdentifier[128];  /* 72 */
  db_char BiblioIdentifier[36];        /* 328 */
  db_char CopyrightFileIdentifier[36]; /* 400 */
  db_char DataPreparerIdentifier[128]; /* 472 */
  db_char PublisherIdentifier[128];    /* 728 */
  db_char SetIdentifier[128];          /* 984 */
  db_char SystemIdentifier[31];        /* 1240 */
  uint8_t AddSuffix;                   /* 1302 */
  int32_t Level;                       /* 1303: 1, 2, 3, or 4 = Romeo */
  uint8_t AllowManyDirectories;        /* 1307 */
  uint8_t AllowLowercaseNames;         /* 1308 */
  uint8_t AllowLongISO9660Names;       /* 1309 */
  uint8_t AllowLongJolietNames;        /* 1310 */
  uint8_t UseCreationDateTime;         /* 1311 */
  DBDiscDate CreationDateTime;         /* 1312 */
  uint8_t UseModificationDateTime;     /* 1326 */
  DBDiscDate ModificationDateTime;     /* 1327 */
  uint8_t UseExpirationDateTime;       /* 1341 */
  DBDiscDate ExpirationDateTime;       /* 1342 */
  uint8_t UseEffectiveDateTime;        /* 1356 */
  DBDiscDate EffectiveDateTime;        /* 1357 */
  uint8_t Pad1371;                     /* 1371 */
  db_char VolumeIdentifier[33];        /* 1372: GetISOVolumeInformation only (the label is
                                          the options block's VolumeLabel when burning) */
  uint8_t Reserved[959];               /* 1438: the library's own */
} DBISOBlock;

/* El Torito boot block, GetBootInfoEx / SetBootInfoEx. */
typedef struct DBBootBlock {
  db_char DeveloperID[24]; /* 0 */
  uint8_t BootIndicator;   /* 48 */
  int32_t LoadSegment;     /* 49 */
  int32_t PlatformID;      /* 53: 0 80x86, 1 PowerPC, 2 Mac */
  int32_t Emulation;       /* 57: 0 none, 1 1.2 MB, 2 1.44 MB, 3 2.88 MB, 4 hard disk */
  int32_t SectorCount;     /* 61 */
  uint8_t Reserved[80];    /* 65 */
} DBBootBlock;

/* Compression and encryption block, GetCompressEncrypt / SetCompressEncrypt. */
typedef struct DBCompressEncryptBlock {
  uint8_t Compression;       /* 0 */
  int32_t CompressionLevel;  /* 1 */
  uint8_t Encryption;        /* 5 */
  const db_char* Password;   /* 6: valid only during the SetCompressEncrypt call */
  uint8_t Reserved[8];       /* 14 */
} DBCompressEncryptBlock;

/* DVD-Video block, GetDVDVideoOptions / SetDVDVideoOptions. */
typedef struct DBDVDVideoBlock {
  uint8_t Padding;        /* 0 */
  uint8_t ForceUppercase; /* 1 */
  uint8_t Reserved[16];   /* 2 */
} DBDVDVideoBlock;

/* UDF block, GetUDFOptions / SetUDFOptions. */
typedef struct DBUDFBlock {
  int32_t Version;          /* 0: 0x0102, 0x0150, 0x0200, 0x0201, 0x0250, 0x0260 */
  int32_t PartitionType;    /* 4: 0 physical, 1 virtual, 2 sparable */
  uint8_t WriteFileStreams; /* 8: 0xFF true, 0 false */
  uint8_t IsAvchdDisc;      /* 9: 0xFF true, 0 false */
  uint8_t Reserved[15];     /* 10 */
} DBUDFBlock;

/* AddFile record, passed by value. Paths inside the project use '\' as separator and
   the root folder is "\". */
typedef struct DBAddFileRecord {
  const db_char* SourcePath;  /* 0: file on the local disk */
  const db_char* DestFolder;  /* 8: folder in the project, e.g. "\" */
  const db_char* NameOnDisc;  /* 16: empty or NULL = the source's own name */
  uint8_t Switch;             /* 24: 1 or 0; the burn window passes 0 */
  int32_t Value;              /* 25: the burn window passes 0 */
  uint8_t Reserved[8];        /* 29 */
} DBAddFileRecord;

/* One entry of a session folder, ReadDirectory / GetFileEntry / the comparison callback. */
typedef struct DBFileEntry {
  db_char Name[260];        /* 0: the entry's name inside its folder */
  db_char ISOName[260];     /* 520 */
  db_char SourcePath[260];  /* 1040: local source file, empty when read from a disc */
  int32_t Lba;              /* 1560: first sector, 0 when not known */
  uint32_t SizeLow;         /* 1564: size in bytes, low 32 bits */
  uint32_t SizeHigh;        /* 1568: size in bytes, high 32 bits */
  DBDiscDate Modified;      /* 1572 */
  uint32_t Attributes;      /* 1586: DB_ATTR_* */
  DBDiscDate Created;       /* 1590 */
  DBDiscDate Accessed;      /* 1604 */
  int32_t UserParam;        /* 1618 */
} DBFileEntry;

/* Medium information, GetMediumInformation. */
typedef struct DBMediumInfo {
  db_char MediumType[25];   /* 0: e.g. "CD-R", "DVD+RW", "Image file" */
  uint8_t Erasable;         /* 50 */
  uint8_t Pad51[3];         /* 51 */
  int32_t ProfileCode;      /* 54: MMC profile, 0xFFFF for an image file */
  int32_t SessionCount;     /* 58 */
  int32_t TrackCount;       /* 62 */
  int32_t LastSessionStatus;/* 66 */
  double Size;              /* 70: capacity in bytes */
  int32_t UsedSectors;      /* 78 */
  int32_t FreeSectors;      /* 82 */
  int32_t MaxWriteSpeed;    /* 86: KB/s */
  int32_t MaxReadSpeed;     /* 90: KB/s */
  uint8_t Appendable;       /* 94 */
  uint8_t Pad95[3];         /* 95 */
  uint8_t Status;           /* 98: 0 no medium; 1 blank; 2 appendable; 3 full; 7/9 DVD-RW */
  uint8_t Pad99;            /* 99 */
  uint8_t WriteProtected;   /* 100 */
  uint8_t Pad101;           /* 101 */
  db_char MediumId[14];     /* 102 */
} DBMediumInfo;

/* Extended device information, GetDeviceInformationEx. */
typedef struct DBDeviceInfoEx {
  db_char Address[64];       /* 0: libburn drive address, e.g. "/dev/sr0" */
  db_char SerialNumber[64];  /* 128 */
  int32_t BufferSize;        /* 256: bytes */
  int32_t MaxWriteSpeed;     /* 260: KB/s */
  db_char Interface[64];     /* 264 */
  db_char LoaderType[64];    /* 392 */
  db_char FirmwareDate[64];  /* 520 */
  int32_t MaxReadSpeed;      /* 648: KB/s */
  int32_t ProfileCount;      /* 652 */
  db_char CurrentProfile[64];/* 656 */
  int32_t Flags;             /* 784 */
} DBDeviceInfoEx;

/* Video format as VideoScanDoneCallback passes it by value. */
typedef struct DBVideoFormat {
  uint8_t Valid;      /* 0: 1 = true */
  int32_t Values[7];  /* 1, 5, ..., 25 */
} DBVideoFormat;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(DBDiscDate) == 14, "disc date");
static_assert(sizeof(DBOptionsBlock) == 1886, "options block");
static_assert(offsetof(DBOptionsBlock, WriteMethod) == 256, "options");
static_assert(offsetof(DBOptionsBlock, JolietFileSystem) == 260, "options");
static_assert(offsetof(DBOptionsBlock, Bootable) == 261, "options");
static_assert(offsetof(DBOptionsBlock, BootImage) == 262, "options");
static_assert(offsetof(DBOptionsBlock, Finalize) == 782, "options");
static_assert(offsetof(DBOptionsBlock, TestBurn) == 783, "options");
static_assert(offsetof(DBOptionsBlock, PerformOPC) == 784, "options");
static_assert(offsetof(DBOptionsBlock, VerifyAfterBurn) == 785, "options");
static_assert(offsetof(DBOptionsBlock, CacheSize) == 786, "options");
static_assert(offsetof(DBOptionsBlock, UnderrunProtection) == 790, "options");
static_assert(offsetof(DBOptionsBlock, EjectAfterBurn) == 791, "options");
static_assert(offsetof(DBOptionsBlock, AutoErase) == 792, "options");
static_assert(offsetof(DBOptionsBlock, RockRidgeFileSystem) == 793, "options");
static_assert(offsetof(DBOptionsBlock, Copies) == 794, "options");
static_assert(offsetof(DBOptionsBlock, PadDataTracks) == 798, "options");

static_assert(sizeof(DBISOBlock) == 2397, "ISO block");
static_assert(offsetof(DBISOBlock, ApplicationIdentifier) == 72, "ISO");
static_assert(offsetof(DBISOBlock, BiblioIdentifier) == 328, "ISO");
static_assert(offsetof(DBISOBlock, CopyrightFileIdentifier) == 400, "ISO");
static_assert(offsetof(DBISOBlock, DataPreparerIdentifier) == 472, "ISO");
static_assert(offsetof(DBISOBlock, PublisherIdentifier) == 728, "ISO");
static_assert(offsetof(DBISOBlock, SetIdentifier) == 984, "ISO");
static_assert(offsetof(DBISOBlock, SystemIdentifier) == 1240, "ISO");
static_assert(offsetof(DBISOBlock, AddSuffix) == 1302, "ISO");
static_assert(offsetof(DBISOBlock, Level) == 1303, "ISO");
static_assert(offsetof(DBISOBlock, AllowManyDirectories) == 1307, "ISO");
static_assert(offsetof(DBISOBlock, AllowLowercaseNames) == 1308, "ISO");
static_assert(offsetof(DBISOBlock, AllowLongISO9660Names) == 1309, "ISO");
static_assert(offsetof(DBISOBlock, AllowLongJolietNames) == 1310, "ISO");
static_assert(offsetof(DBISOBlock, UseCreationDateTime) == 1311, "ISO");
static_assert(offsetof(DBISOBlock, CreationDateTime) == 1312, "ISO");
static_assert(offsetof(DBISOBlock, UseModificationDateTime) == 1326, "ISO");
static_assert(offsetof(DBISOBlock, ModificationDateTime) == 1327, "ISO");
static_assert(offsetof(DBISOBlock, UseExpirationDateTime) == 1341, "ISO");
static_assert(offsetof(DBISOBlock, ExpirationDateTime) == 1342, "ISO");
static_assert(offsetof(DBISOBlock, UseEffectiveDateTime) == 1356, "ISO");
static_assert(offsetof(DBISOBlock, EffectiveDateTime) == 1357, "ISO");
static_assert(offsetof(DBISOBlock, VolumeIdentifier) == 1372, "ISO");

static_assert(sizeof(DBBootBlock) == 145, "boot block");
static_assert(offsetof(DBBootBlock, BootIndicator) == 48, "boot");
static_assert(offsetof(DBBootBlock, LoadSegment) == 49, "boot");
static_assert(offsetof(DBBootBlock, PlatformID) == 53, "boot");
static_assert(offsetof(DBBootBlock, Emulation) == 57, "boot");
static_assert(offsetof(DBBootBlock, SectorCount) == 61, "boot");

static_assert(sizeof(void*) == 8, "the pointer-holding records below are pinned for 64-bit");
static_assert(sizeof(DBCompressEncryptBlock) == 22, "compression block (18 on 32-bit)");
static_assert(offsetof(DBCompressEncryptBlock, CompressionLevel) == 1, "compression");
static_assert(offsetof(DBCompressEncryptBlock, Encryption) == 5, "compression");
static_assert(offsetof(DBCompressEncryptBlock, Password) == 6, "compression");

static_assert(sizeof(DBDVDVideoBlock) == 18, "DVD-Video block");
static_assert(offsetof(DBDVDVideoBlock, ForceUppercase) == 1, "DVD-Video");

static_assert(sizeof(DBUDFBlock) == 25, "UDF block");
static_assert(offsetof(DBUDFBlock, PartitionType) == 4, "UDF");
static_assert(offsetof(DBUDFBlock, WriteFileStreams) == 8, "UDF");
static_assert(offsetof(DBUDFBlock, IsAvchdDisc) == 9, "UDF");

static_assert(sizeof(DBAddFileRecord) == 37, "add-file record (25 on 32-bit)");
static_assert(offsetof(DBAddFileRecord, DestFolder) == 8, "add-file");
static_assert(offsetof(DBAddFileRecord, NameOnDisc) == 16, "add-file");
static_assert(offsetof(DBAddFileRecord, Switch) == 24, "add-file");
static_assert(offsetof(DBAddFileRecord, Value) == 25, "add-file");

static_assert(sizeof(DBFileEntry) == 1622, "file entry");
static_assert(offsetof(DBFileEntry, ISOName) == 520, "file entry");
static_assert(offsetof(DBFileEntry, SourcePath) == 1040, "file entry");
static_assert(offsetof(DBFileEntry, Lba) == 1560, "file entry");
static_assert(offsetof(DBFileEntry, SizeLow) == 1564, "file entry");
static_assert(offsetof(DBFileEntry, SizeHigh) == 1568, "file entry");
static_assert(offsetof(DBFileEntry, Modified) == 1572, "file entry");
static_assert(offsetof(DBFileEntry, Attributes) == 1586, "file entry");
static_assert(offsetof(DBFileEntry, Created) == 1590, "file entry");
static_assert(offsetof(DBFileEntry, Accessed) == 1604, "file entry");
static_assert(offsetof(DBFileEntry, UserParam) == 1618, "file entry");

static_assert(sizeof(DBMediumInfo) == 130, "medium record");
static_assert(offsetof(DBMediumInfo, Erasable) == 50, "medium");
static_assert(offsetof(DBMediumInfo, ProfileCode) == 54, "medium");
static_assert(offsetof(DBMediumInfo, SessionCount) == 58, "medium");
static_assert(offsetof(DBMediumInfo, TrackCount) == 62, "medium");
static_assert(offsetof(DBMediumInfo, LastSessionStatus) == 66, "medium");
static_assert(offsetof(DBMediumInfo, Size) == 70, "medium");
static_assert(offsetof(DBMediumInfo, UsedSectors) == 78, "medium");
static_assert(offsetof(DBMediumInfo, FreeSectors) == 82, "medium");
static_assert(offsetof(DBMediumInfo, MaxWriteSpeed) == 86, "medium");
static_assert(offsetof(DBMediumInfo, MaxReadSpeed) == 90, "medium");
static_assert(offsetof(DBMediumInfo, Appendable) == 94, "medium");
static_assert(offsetof(DBMediumInfo, Status) == 98, "medium");
static_assert(offsetof(DBMediumInfo, WriteProtected) == 100, "medium");
static_assert(offsetof(DBMediumInfo, MediumId) == 102, "medium");

static_assert(sizeof(DBDeviceInfoEx) == 788, "extended device record");
static_assert(offsetof(DBDeviceInfoEx, BufferSize) == 256, "device");
static_assert(offsetof(DBDeviceInfoEx, Interface) == 264, "device");
static_assert(offsetof(DBDeviceInfoEx, MaxReadSpeed) == 648, "device");
static_assert(offsetof(DBDeviceInfoEx, CurrentProfile) == 656, "device");
static_assert(offsetof(DBDeviceInfoEx, Flags) == 784, "device");

static_assert(sizeof(DBVideoFormat) == 29, "video format");
static_assert(offsetof(DBVideoFormat, Values) == 1, "video format");
#endif

/* ---- Callbacks (the user pointer is always the last argument) ---- */
typedef void (*DBInfoTextCallback)(const db_char* text, int32_t level, void* user);
typedef void (*DBProcessCallback)(float percent, float deviceBuffer, float cache,
                                  double bytesWritten, double imageSize, void* user);
typedef void (*DBBurnFileCallback)(const db_char* fileName, void* user);
typedef void (*DBEraseDoneCallback)(const db_char* error, void* user); /* "" = success */
typedef void (*DBFinalizeCallback)(void* user);
typedef void (*DBBurnDoneCallback)(const db_char* error, void* user); /* "" = success */
typedef void (*DBJobDoneCallback)(void* user);
typedef void (*DBAddFileCallback)(const db_char* fullPath, const db_char* jolietName,
                                  const db_char* isoName, const db_char* udfName,
                                  double dateTime, double fileSize, void* user);
typedef void (*DBCreateDirCallback)(const db_char* fullName, const db_char* jolietName,
                                    const db_char* isoName, const db_char* udfName, void* user);
typedef void (*DBRemoveFileCallback)(const db_char* fullPath, const db_char* destinationPath,
                                     const db_char* file, void* user);
/* An audio CD's track from an audio file not in the CD's format (an MP3, FLAC, Ogg or M4A
   file, a WAV file of another rate...) is decoded while the track is written (CreateImage,
   Burn); the callback follows once per such file, on the job's or libburn's thread, with
   error "" and code 0, or the reason and code 20. GetPlayTime and GetPrecisePlayTime measure
   any audio file FFmpeg reads; another file gets code 20 with FFmpeg's reason. */
typedef void (*DBAudioDecodeDoneCallback)(const db_char* fileName, const db_char* error,
                                          int32_t errorCode, void* user);
typedef void (*DBVideoScannerCallback)(float percent, const db_char* fileName, void* user);
typedef void (*DBVideoScanDoneCallback)(const db_char* fileName, const db_char* error,
                                        int32_t errorCode, DBVideoFormat format, void* user);
typedef void (*DBStartVerifyCallback)(void* user);
typedef void (*DBVerifyFileCallback)(const db_char* fileName, void* user);
typedef void (*DBVerifyErrorCallback)(const db_char* fileName, const db_char* error, void* user);
typedef void (*DBVerifyDoneCallback)(int32_t numErrors, void* user);
/* Returns a result code; *read is in/out. */
typedef int32_t (*DBRawDataCallback)(int32_t lba, void* buffer, int32_t bufferSize,
                                     int32_t* read, void* user);
/* Returns 0xFF when the first entry goes before the second, else 0. */
typedef uint8_t (*DBCompareFilesCallback)(const DBFileEntry* first, const DBFileEntry* second,
                                          void* user);

/* ---- Entry points ----
   What the component relies on (all others are resolved and never called by it):
   Initialize(aspiType, enableImageDevice)  0 = ready; aspiType other than
       DB_ASPI_INTERNAL may be refused.
   GetText(code, buffer[1024], &length)     length in: capacity, out: characters written
       (without NUL); 0 = the first `length` characters are the message. GetText(3) gives
       the "no disc session open" text.
   GetErrorDeviceName(buffer[100], 100)     0 = buffer holds the device of the last error.
   RescanDevices()                          0 also on a machine without any optical drive
       (libburn finding none is not a failure): the list then holds the image writer, when
       enabled, and the AddPseudoDrive drives.
   GetDevices(buffer, &count, burnersOnly)  buffer is 2600 bytes (1300 db_char): up to 26
       names, one every 50 db_char, each NUL-terminated, first character = drive letter.
   GetBurnDevice(letters[26], &count)       letters of the burn devices, one NUL-terminated
       text; count in: 26.
   GetDeviceInformation(-2, v[9], p[17], r[5])  NUL-terminated, space-padded allowed.
   AnalyseDeviceCapability(h, m1, m2, &b)   b != 0 when present. When m2 == 0xFFFF, m1 is
       a capability code (1-38) rather than a first-group mask.
   GetMediumInformation(device, &info)      device -1 / 0 = current burn device.
   GetBurnSpeed(-1, &kbps) / SetBurnSpeed(-1, kbps or -1)
   ConvertSpeedFromKBPerSec(kbps, &x)       x = multiple of the medium's 1x speed.
   CreateProject(type, session), DeleteProject(), AddFile(record), ClearAll()
   OpenDiskSession(0, -1 or n, &h, 0)       device 0 = the burn project.
   Not called by the component, for reading media back:
   OpenDiskSession(device, n, &h, 0)        session n (1-based; 0 or -1 = the newest) of the
       medium in a device, or of the image writer's file. Overwritable media and image files
       have no table of contents: their sessions are those of a growing multi-session image
       (descriptors of the newest at block 16, the sessions from block 32 on, each at a
       multiple of 32 blocks). OpenDirectory, ReadDirectory and GetFileEntry list its tree.
   GetISOVolumeInformation(h, &iso)         the volume's identifiers, dates and
       VolumeIdentifier; GetBootVolumeInformation(h, &boot) its first El Torito entry.
   GetFileAllocationTable(h, path, lbas, &n) n in: capacity of lbas (int32 units); out: the
       file's extent count; lbas holds pairs (first block, block count).
   GetSessionInformation / GetTrackInformation / GetTrackFormatEx / GetMediumFreedbId read the
       table of contents; tracks are counted 1-based over the whole medium.
   ImportFile(isoPath)                      adds the tree of an ISO image (its newest session)
       to the project; the files are read from the image when the project is written.
   CreateProject(type, n) with n != -1     continues session n (0 = the newest) of the medium
       in the burn device: the project starts as its tree and is written as the next session.
   CloseSession(device)                     closes the open session of a CD or DVD-R;
       overwritable media and files need no closing (0).
   OpenDirectory(h, "\\folder\\", &d), GetNumberOfFiles(d, &n), ReadDirectory(d, i, &e)
       i in 0..n-1; the component closes each directory with CloseDirectory(d) and the
       session with CloseDiskSession(h) before it opens the next one or deactivates.
   Get...(&block) fills a block with the library's current values; Set...(block) takes it
       by value and applies the fields the component writes, keeping the rest.
   Erase(quick, eject), Prepare(), Burn(), Abort(): see Threads above.

   DB_ENTRY_POINTS(X) lists every entry point the component requires, as
   X(name, return type, (parameter list)). The declarations and the pointer typedefs
   (DBFn_<name>) below are generated from it, so the list is the single source. */
#define DB_ENTRY_POINTS(X) \
  /* Initialisation and environment */ \
  X(Initialize, int32_t, (int32_t aspiType, int32_t enableImageDevice)) \
  X(DeInitialize, int32_t, (void)) \
  X(ForceDeInitialize, int32_t, (void)) \
  X(SetTmpPath, int32_t, (const db_char* path)) \
  X(GetTmpPath, int32_t, (db_char* buffer, int32_t* length)) \
  X(SetLanguage, int32_t, (const db_char* language, const db_char* languageFile)) \
  X(GetLanguage, int32_t, (db_char* buffer, int32_t* length)) \
  X(GetText, int32_t, (int32_t code, db_char* buffer, int32_t* length)) \
  X(SetASPI, int32_t, (int32_t aspiType)) \
  X(GetASPI, int32_t, (uint8_t* aspiType)) \
  X(EnableImageDevice, int32_t, (int32_t enable)) \
  X(EnableMCNDisabling, int32_t, (int32_t disable)) \
  X(SetRegionalCode, int32_t, (int32_t device, int32_t code)) \
  X(SetWriteCDTextInUnicode, int32_t, (int32_t enable)) \
  X(SaveLogToFile, int32_t, (const db_char* path)) \
  X(ResetCallbacks, int32_t, (void)) \
  /* Devices */ \
  X(RescanDevices, int32_t, (void)) \
  X(GetDevices, int32_t, (db_char* buffer, int32_t* count, int32_t burnersOnly)) \
  X(GetActiveDevicesCount, int32_t, (int32_t* count)) \
  X(GetBurnDevice, int32_t, (db_char* letters, int32_t* count)) \
  X(SetBurnDevice, int32_t, (int32_t letter)) \
  X(AddBurnDevice, int32_t, (int32_t letter)) \
  X(RemoveBurnDevice, int32_t, (int32_t letter)) \
  X(SetReadDevice, int32_t, (int32_t letter)) \
  X(GetDeviceInformation, int32_t, (int32_t device, db_char* vendor, db_char* product, db_char* revision)) \
  X(GetDeviceInformationEx, int32_t, (int32_t device, DBDeviceInfoEx* info)) \
  X(GetDeviceCapabilities, int32_t, (int32_t device, uint32_t* firstGroup, uint32_t* secondGroup)) \
  X(GetDeviceCapabilitiesHandle, int32_t, (int32_t device, db_handle* handle)) \
  X(AnalyseDeviceCapability, int32_t, (db_handle handle, uint32_t firstGroup, uint32_t secondGroup, uint8_t* present)) \
  X(ReleaseDeviceCapabilities, int32_t, (db_handle handle)) \
  X(GetErrorDeviceName, int32_t, (db_char* buffer, int32_t capacity)) \
  X(IsDeviceReady, int32_t, (int32_t device, uint8_t* ready)) \
  X(EjectDevice, int32_t, (int32_t device, int32_t eject)) \
  X(LockMedium, int32_t, (int32_t device, int32_t lock)) \
  X(CloseDevice, int32_t, (int32_t device)) \
  X(MultiDeviceDialog, int32_t, (void)) \
  /* Media, sessions, tracks and tags */ \
  X(GetMediumInformation, int32_t, (int32_t device, DBMediumInfo* info)) \
  X(GetMediumFreedbId, int32_t, (int32_t device, uint32_t* id)) \
  X(GetSessionInformation, int32_t, (int32_t device, int32_t session, int32_t* startLba, int32_t* sectors)) \
  X(GetTrackInformation, int32_t, (int32_t device, int32_t track, int32_t* startLba, int32_t* sectors, int32_t* mode)) \
  X(GetTrackFormatEx, int32_t, (int32_t device, int32_t track, int32_t* format)) \
  X(GetTrackIndexes, int32_t, (int32_t device, int32_t track, int32_t* indexes, int32_t* count)) \
  X(GetTrackISRC, int32_t, (int32_t device, int32_t track, db_char* isrc)) \
  X(ReadCDText, int32_t, (int32_t device, db_handle* handle)) \
  X(CloseCDTextHandle, int32_t, (db_handle handle)) \
  X(GetCDTextDiskTagString, int32_t, (db_handle handle, int32_t tag, db_char* buffer, int32_t* length)) \
  X(GetCDTextTrackTagString, int32_t, (db_handle handle, int32_t track, int32_t tag, db_char* buffer, int32_t* length)) \
  X(TagsFromNetworkDialog, int32_t, (int32_t device, db_handle* handle)) \
  X(CloseNetworkTagsHandle, int32_t, (db_handle handle)) \
  X(GetNetworkDiskTagString, int32_t, (db_handle handle, int32_t tag, db_char* buffer, int32_t* length)) \
  X(GetNetworkDiskTagInt, int32_t, (db_handle handle, int32_t tag, int32_t* value)) \
  X(GetNetworkTrackTagString, int32_t, (db_handle handle, int32_t track, int32_t tag, db_char* buffer, int32_t* length)) \
  X(GetNetworkTrackTagInt, int32_t, (db_handle handle, int32_t track, int32_t tag, int32_t* value)) \
  X(OpenDiskSession, int32_t, (int32_t device, int32_t session, db_handle* handle, int32_t flags)) \
  X(CloseDiskSession, int32_t, (db_handle session)) \
  X(OpenDirectory, int32_t, (db_handle session, const db_char* path, db_handle* directory)) \
  X(GetNumberOfFiles, int32_t, (db_handle directory, int32_t* count)) \
  X(ReadDirectory, int32_t, (db_handle directory, int32_t index, DBFileEntry* entry)) \
  X(CloseDirectory, int32_t, (db_handle directory)) \
  X(GetFileEntry, int32_t, (db_handle session, const db_char* path, DBFileEntry* entry)) \
  X(GetFileAllocationTable, int32_t, (db_handle session, const db_char* path, int32_t* lbas, int32_t* count)) \
  X(GetISOVolumeInformation, int32_t, (db_handle session, DBISOBlock* info)) \
  X(GetUDFVolumeInformation, int32_t, (db_handle session, DBUDFBlock* info)) \
  X(GetBootVolumeInformation, int32_t, (db_handle session, DBBootBlock* info)) \
  X(ReadSectors, int32_t, (int32_t device, int32_t lba, int32_t count, void* buffer, int32_t bufferSize)) \
  X(SetRAWStructure, int32_t, (int32_t sectorSize, int32_t flags)) \
  /* Speeds (KB/s; -1 = highest) */ \
  X(GetBurnSpeed, int32_t, (int32_t device, int32_t* speed)) \
  X(SetBurnSpeed, int32_t, (int32_t device, int32_t speed)) \
  X(GetMaxBurnSpeed, int32_t, (int32_t device, int32_t* speed)) \
  X(GetPossibleBurnSpeeds, int32_t, (int32_t device, int32_t* speeds, int32_t* count)) \
  X(GetReadSpeed, int32_t, (int32_t device, int32_t* speed)) \
  X(SetReadSpeed, int32_t, (int32_t device, int32_t speed)) \
  X(GetMaxReadSpeed, int32_t, (int32_t device, int32_t* speed)) \
  X(GetPossibleReadSpeeds, int32_t, (int32_t device, int32_t* speeds, int32_t* count)) \
  X(ConvertSpeedFromKBPerSec, int32_t, (int32_t speed, double* multiple)) \
  /* Project and files */ \
  X(CreateProject, int32_t, (int32_t projectType, int32_t sessionToContinue)) \
  X(DeleteProject, int32_t, (void)) \
  X(GetProjectType, int32_t, (int32_t* projectType)) \
  X(AddFile, int32_t, (DBAddFileRecord record)) \
  X(AddDir, int32_t, (const db_char* sourceFolder, const db_char* destFolder, int32_t recursive)) \
  X(CreateDir, int32_t, (const db_char* destFolder, const db_char* name)) \
  X(RemoveFile, int32_t, (const db_char* destFolder, const db_char* name)) \
  X(RemoveDir, int32_t, (const db_char* path)) \
  X(RenameFile, int32_t, (const db_char* destFolder, const db_char* oldName, const db_char* newName)) \
  X(RenameDir, int32_t, (const db_char* path, const db_char* newName)) \
  X(ClearAll, int32_t, (void)) \
  X(SetFileAttr, int32_t, (const db_char* path, uint32_t attributes)) \
  X(SetFileTimes, int32_t, (const db_char* path, const DBDiscDate* created, const DBDiscDate* modified, const DBDiscDate* accessed)) \
  X(SetFileUserParam, int32_t, (const db_char* path, int32_t param)) \
  X(ImportFile, int32_t, (const db_char* path)) \
  X(IsValidVideoTsFolder, int32_t, (const db_char* path, uint8_t* valid)) \
  X(GetImageSize, int32_t, (int64_t* bytes)) \
  X(GetPossibleImageFormats, int32_t, (uint32_t* formats)) \
  X(SetImageFilePath, int32_t, (const db_char* path)) \
  X(SetAudioFileProperty, int32_t, (const db_char* path, int32_t property, const db_char* value)) \
  X(GetPlayTime, int32_t, (const db_char* path, int32_t* milliseconds)) \
  X(GetPrecisePlayTime, int32_t, (const db_char* path, double* seconds)) \
  X(GetMpegCount, int32_t, (int32_t* count)) \
  X(EraseMpegByIndex, int32_t, (int32_t index)) \
  X(StopMpegAction, int32_t, (void)) \
  /* Option blocks */ \
  X(GetOptions, int32_t, (DBOptionsBlock* block)) \
  X(SetOptions, int32_t, (DBOptionsBlock block)) \
  X(GetISOInfoEx, int32_t, (DBISOBlock* block)) \
  X(SetISOInfoEx, int32_t, (DBISOBlock block)) \
  X(GetBootInfoEx, int32_t, (DBBootBlock* block)) \
  X(SetBootInfoEx, int32_t, (DBBootBlock block)) \
  X(GetCompressEncrypt, int32_t, (DBCompressEncryptBlock* block)) \
  X(SetCompressEncrypt, int32_t, (DBCompressEncryptBlock block)) \
  X(GetDVDVideoOptions, int32_t, (DBDVDVideoBlock* block)) \
  X(SetDVDVideoOptions, int32_t, (DBDVDVideoBlock block)) \
  X(GetUDFOptions, int32_t, (DBUDFBlock* block)) \
  X(SetUDFOptions, int32_t, (DBUDFBlock block)) \
  X(GetUDFOptionsEx, int32_t, (DBUDFBlock* block, db_char* implementationId, int32_t capacity)) \
  X(SetUDFOptionsEx, int32_t, (DBUDFBlock block, const db_char* implementationId)) \
  X(GetVerify, int32_t, (uint8_t* verify)) \
  X(SetVerify, int32_t, (int32_t verify)) \
  /* Jobs */ \
  X(Prepare, int32_t, (void)) \
  X(Burn, int32_t, (void)) \
  X(BurnISO, int32_t, (const db_char* isoPath)) \
  X(CreateImage, int32_t, (const db_char* imagePath)) \
  X(CopyDisk, int32_t, (int32_t sourceDevice, int32_t targetDevice)) \
  X(Erase, int32_t, (int32_t quick, int32_t eject)) \
  X(Abort, int32_t, (void)) \
  X(CloseSession, int32_t, (int32_t device)) \
  X(VerifyFile, int32_t, (const db_char* path)) \
  X(GrabAudioTrack, int32_t, (int32_t device, int32_t track, const db_char* path)) \
  X(SaveTrackToFile, int32_t, (int32_t device, int32_t track, const db_char* path)) \
  X(PlayAudioFile, int32_t, (const db_char* path)) \
  X(PlayAudioTrack, int32_t, (int32_t device, int32_t track)) \
  X(AudioFileStop, int32_t, (void)) \
  X(BurnDialog, int32_t, (void)) \
  X(EraseDialog, int32_t, (void)) \
  /* Callback registration */ \
  X(SetInfoTextEventCallback, int32_t, (DBInfoTextCallback callback, int32_t level, void* user)) \
  X(SetProcessEventCallback, int32_t, (DBProcessCallback callback, void* user)) \
  X(SetBurnFileEventCallback, int32_t, (DBBurnFileCallback callback, void* user)) \
  X(SetEraseDoneEventCallback, int32_t, (DBEraseDoneCallback callback, void* user)) \
  X(SetFinalizeEventCallback, int32_t, (DBFinalizeCallback callback, void* user)) \
  X(SetBurnDoneEventCallback, int32_t, (DBBurnDoneCallback callback, void* user)) \
  X(SetJobDoneEventCallback, int32_t, (DBJobDoneCallback callback, void* user)) \
  X(SetAddFileEventCallback, int32_t, (DBAddFileCallback callback, void* user)) \
  X(SetCreateDirEventCallback, int32_t, (DBCreateDirCallback callback, void* user)) \
  X(SetRemoveFileEventCallback, int32_t, (DBRemoveFileCallback callback, void* user)) \
  X(SetAudioDecodeDoneEventCallback, int32_t, (DBAudioDecodeDoneCallback callback, void* user)) \
  X(SetVideoScannerEventCallback, int32_t, (DBVideoScannerCallback callback, void* user)) \
  X(SetVideoScanDoneEventCallback, int32_t, (DBVideoScanDoneCallback callback, void* user)) \
  X(SetStartVerifyEventCallback, int32_t, (DBStartVerifyCallback callback, void* user)) \
  X(SetVerifyFileEventCallback, int32_t, (DBVerifyFileCallback callback, void* user)) \
  X(SetVerifyErrorEventCallback, int32_t, (DBVerifyErrorCallback callback, void* user)) \
  X(SetVerifyDoneEventCallback, int32_t, (DBVerifyDoneCallback callback, void* user)) \
  X(SetRAWDataEventCallback, int32_t, (DBRawDataCallback callback, void* user)) \
  X(SetCompareFilesForArrangementEventCallback, int32_t, (DBCompareFilesCallback callback, void* user))

#define DB_DECLARE_ENTRY_POINT(name, ret, params) \
  ret name params; \
  typedef ret(*DBFn_##name) params;

#ifdef __cplusplus
extern "C" {
#endif

DB_ENTRY_POINTS(DB_DECLARE_ENTRY_POINT)

/* Test support, not required by the component: adds an image-file drive at the given
   libburn address (e.g. "stdio:/tmp/x.iso") that reports the given capacity in bytes
   (0 = unlimited). Returns a result code. */
int32_t AddPseudoDrive(const db_char* address, int64_t capacityBytes);
typedef int32_t (*DBFn_AddPseudoDrive)(const db_char* address, int64_t capacityBytes);

#ifdef __cplusplus
}
#endif

#endif /* DISCBURN_DISCBURN_API_H */
