#pragma once
// The option objects of TDiscBurnerSDK. Each but TReadErrorCorrectionParams belongs to its
// component and pushes its block to the library whenever a property changes while the
// component is live.

#include <QString>

#include <array>

#include "burning/burner_types.h"

namespace burning {

class TDiscBurnerSDK;

/// Base of the option objects: assignable from an object of the same class only.
class TBurnPersistent {
 public:
  virtual ~TBurnPersistent() = default;
  virtual const char* ClassName() const = 0;
  /// Copies from a source of the same class; any other source raises EDiscBurnerSDK
  /// "Cannot assign a <source class> to a <class>".
  virtual void Assign(const TBurnPersistent& source);

 protected:
  explicit TBurnPersistent(TDiscBurnerSDK* owner) : FOwner(owner) {}
  bool OwnerLive() const;
  TDiscBurnerSDK* FOwner;
};

class TBurningOptions : public TBurnPersistent {
 public:
  explicit TBurningOptions(TDiscBurnerSDK* owner) : TBurnPersistent(owner) {}
  const char* ClassName() const override { return "TBurningOptions"; }
  void Assign(const TBurnPersistent& source) override;

  QString VolumeLabel() const { return FVolumeLabel; }
  void SetVolumeLabel(const QString& value);
  TWriteMethod WriteMethod() const { return FWriteMethod; }
  void SetWriteMethod(TWriteMethod value);
  TBurningOptionSwitches Switches() const { return FSwitches; }
  void SetSwitches(TBurningOptionSwitches value);
  QString BootImage() const { return FBootImage; }
  void SetBootImage(const QString& value);
  int32_t CacheSize() const { return FCacheSize; }
  void SetCacheSize(int32_t value);
  int32_t Copies() const { return FCopies; }
  void SetCopies(int32_t value);

 private:
  void Changed();
  QString FVolumeLabel;
  TWriteMethod FWriteMethod = TWriteMethod::wmDefault;
  TBurningOptionSwitches FSwitches{TBurningOptionSwitch::osJolietFileSystem,
                                   TBurningOptionSwitch::osUnderrunProtection,
                                   TBurningOptionSwitch::osEjectAfterBurn};
  QString FBootImage;
  int32_t FCacheSize = 0;
  int32_t FCopies = 0;
};

class TISOInfo : public TBurnPersistent {
 public:
  explicit TISOInfo(TDiscBurnerSDK* owner) : TBurnPersistent(owner) {}
  const char* ClassName() const override { return "TISOInfo"; }
  void Assign(const TBurnPersistent& source) override;

  /// Identifiers 1-8: AbstractFile, Application, Biblio, CopyrightFile, DataPreparer,
  /// Publisher, Set, System.
  QString Identifier(int index) const;
  void SetIdentifier(int index, const QString& value);
  /// Switches 1-9: AddSuffix, AllowManyDirectories, AllowLowercaseNames, AllowLongISO9660Names,
  /// AllowLongJolietNames, UseCreationDateTime, UseModificationDateTime,
  /// UseExpirationDateTime, UseEffectiveDateTime.
  bool Switch(int index) const;
  void SetSwitch(int index, bool value);
  /// Dates 1-4: Creation, Modification, Expiration, Effective.
  TDateTime Date(int index) const;
  void SetDate(int index, TDateTime value);
  TISOLevel Level() const { return FLevel; }
  void SetLevel(TISOLevel value);

#define BURNING_ISO_TEXT(name, index) \
  QString name() const { return Identifier(index); } \
  void Set##name(const QString& value) { SetIdentifier(index, value); }
  BURNING_ISO_TEXT(AbstractFileIdentifier, 1)
  BURNING_ISO_TEXT(ApplicationIdentifier, 2)
  BURNING_ISO_TEXT(BiblioIdentifier, 3)
  BURNING_ISO_TEXT(CopyrightFileIdentifier, 4)
  BURNING_ISO_TEXT(DataPreparerIdentifier, 5)
  BURNING_ISO_TEXT(PublisherIdentifier, 6)
  BURNING_ISO_TEXT(SetIdentifier, 7)
  BURNING_ISO_TEXT(SystemIdentifier, 8)
#undef BURNING_ISO_TEXT
#define BURNING_ISO_SWITCH(name, index) \
  bool name() const { return Switch(index); } \
  void Set##name(bool value) { SetSwitch(index, value); }
  BURNING_ISO_SWITCH(AddSuffix, 1)
  BURNING_ISO_SWITCH(AllowManyDirectories, 2)
  BURNING_ISO_SWITCH(AllowLowercaseNames, 3)
  BURNING_ISO_SWITCH(AllowLongISO9660Names, 4)
  BURNING_ISO_SWITCH(AllowLongJolietNames, 5)
  BURNING_ISO_SWITCH(UseCreationDateTime, 6)
  BURNING_ISO_SWITCH(UseModificationDateTime, 7)
  BURNING_ISO_SWITCH(UseExpirationDateTime, 8)
  BURNING_ISO_SWITCH(UseEffectiveDateTime, 9)
#undef BURNING_ISO_SWITCH
#define BURNING_ISO_DATE(name, index) \
  TDateTime name() const { return Date(index); } \
  void Set##name(TDateTime value) { SetDate(index, value); }
  BURNING_ISO_DATE(CreationDateTime, 1)
  BURNING_ISO_DATE(ModificationDateTime, 2)
  BURNING_ISO_DATE(ExpirationDateTime, 3)
  BURNING_ISO_DATE(EffectiveDateTime, 4)
#undef BURNING_ISO_DATE

 private:
  void Changed();
  std::array<QString, 8> FIdentifiers;
  std::array<bool, 9> FSwitches{};
  std::array<TDateTime, 4> FDates{};
  TISOLevel FLevel = TISOLevel::ilLevel1;
};

class TBootInfo : public TBurnPersistent {
 public:
  explicit TBootInfo(TDiscBurnerSDK* owner) : TBurnPersistent(owner) {}
  const char* ClassName() const override { return "TBootInfo"; }
  void Assign(const TBurnPersistent& source) override;

  QString DeveloperID() const { return FDeveloperID; }
  void SetDeveloperID(const QString& value);
  bool BootIndicator() const { return FBootIndicator; }
  void SetBootIndicator(bool value);
  int32_t LoadSegment() const { return FLoadSegment; }
  void SetLoadSegment(int32_t value);
  TBootPlatformID PlatformID() const { return FPlatformID; }
  void SetPlatformID(TBootPlatformID value);
  TBootEmulation Emulation() const { return FEmulation; }
  void SetEmulation(TBootEmulation value);
  int32_t SectorCount() const { return FSectorCount; }
  void SetSectorCount(int32_t value);

 private:
  void Changed();
  QString FDeveloperID;
  bool FBootIndicator = true;
  int32_t FLoadSegment = 1984;
  TBootPlatformID FPlatformID = TBootPlatformID::bp80x86;
  TBootEmulation FEmulation = TBootEmulation::be144MB;
  int32_t FSectorCount = 1;
};

class TUDFOptions : public TBurnPersistent {
 public:
  explicit TUDFOptions(TDiscBurnerSDK* owner) : TBurnPersistent(owner) {}
  const char* ClassName() const override { return "TUDFOptions"; }
  void Assign(const TBurnPersistent& source) override;

  TUDFVersion Version() const { return FVersion; }
  void SetVersion(TUDFVersion value);
  TUDFPartition PartitionType() const { return FPartitionType; }
  void SetPartitionType(TUDFPartition value);
  bool WriteFileStreams() const { return FWriteFileStreams; }
  void SetWriteFileStreams(bool value);
  bool IsAvchdDisc() const { return FIsAvchdDisc; }
  void SetIsAvchdDisc(bool value);
  /// Kept, never sent to the library.
  QString ImplementationID() const { return FImplementationID; }
  void SetImplementationID(const QString& value);

  /// The library's version code: uv102 0x0102 ... uv260 0x0260.
  static int32_t VersionCode(TUDFVersion version);

 private:
  void Changed();
  TUDFVersion FVersion = TUDFVersion::uv102;
  TUDFPartition FPartitionType = TUDFPartition::upPhysical;
  bool FWriteFileStreams = false;
  bool FIsAvchdDisc = false;
  QString FImplementationID;
};

/// The password is held in memory only; nothing saves it.
class TCompressEncryptInfo : public TBurnPersistent {
 public:
  explicit TCompressEncryptInfo(TDiscBurnerSDK* owner) : TBurnPersistent(owner) {}
  const char* ClassName() const override { return "TCompressEncryptInfo"; }
  void Assign(const TBurnPersistent& source) override;

  bool Compression() const { return FCompression; }
  void SetCompression(bool value);
  bool Encryption() const { return FEncryption; }
  void SetEncryption(bool value);
  int32_t CompressionLevel() const { return FCompressionLevel; }
  void SetCompressionLevel(int32_t value);
  QString Password() const { return FPassword; }
  void SetPassword(const QString& value);

 private:
  void Changed();
  bool FCompression = false;
  bool FEncryption = false;
  int32_t FCompressionLevel = 0;
  QString FPassword;
};

class TDVDVideoOptions : public TBurnPersistent {
 public:
  explicit TDVDVideoOptions(TDiscBurnerSDK* owner) : TBurnPersistent(owner) {}
  const char* ClassName() const override { return "TDVDVideoOptions"; }
  void Assign(const TBurnPersistent& source) override;

  bool Padding() const { return FPadding; }
  void SetPadding(bool value);
  bool ForceUppercase() const { return FForceUppercase; }
  void SetForceUppercase(bool value);

 private:
  void Changed();
  bool FPadding = false;
  bool FForceUppercase = false;
};

/// Plain settings of the caller; never sent to the library by the component.
class TReadErrorCorrectionParams : public TBurnPersistent {
 public:
  TReadErrorCorrectionParams() : TBurnPersistent(nullptr) {}
  const char* ClassName() const override { return "TReadErrorCorrectionParams"; }
  void Assign(const TBurnPersistent& source) override;

  bool ErrorCorrection = true;
  bool BlankBadSectors = true;
  int32_t HardwareRetryCount = 5;
  int32_t SoftwareRetryCount = 5;
};

}  // namespace burning
