#include "burning/burn_options.h"

#include <string>

#include "burning/disc_burner_sdk.h"

namespace burning {

void TBurnPersistent::Assign(const TBurnPersistent& source) {
  throw EDiscBurnerSDK(std::string("Cannot assign a ") + source.ClassName() + " to a " +
                       ClassName());
}

bool TBurnPersistent::OwnerLive() const { return FOwner && FOwner->IsLive(); }

// An object assigned from a free-standing copy keeps its own component: taking the source's
// missing link would stop it from ever reaching the library again.
#define BURNING_TAKE_OWNER(src) \
  if ((src).FOwner) FOwner = (src).FOwner

// --- TBurningOptions ---

void TBurningOptions::Changed() {
  if (OwnerLive()) FOwner->PushOptions();
}

void TBurningOptions::Assign(const TBurnPersistent& source) {
  const auto* src = dynamic_cast<const TBurningOptions*>(&source);
  if (!src) return TBurnPersistent::Assign(source);
  BURNING_TAKE_OWNER(*src);
  SetVolumeLabel(src->FVolumeLabel);
  SetWriteMethod(src->FWriteMethod);
  SetSwitches(src->FSwitches);
  SetBootImage(src->FBootImage);
  SetCacheSize(src->FCacheSize);
  SetCopies(src->FCopies);
}

void TBurningOptions::SetVolumeLabel(const QString& value) { FVolumeLabel = value; Changed(); }
void TBurningOptions::SetWriteMethod(TWriteMethod value) { FWriteMethod = value; Changed(); }
void TBurningOptions::SetSwitches(TBurningOptionSwitches value) { FSwitches = value; Changed(); }
void TBurningOptions::SetBootImage(const QString& value) { FBootImage = value; Changed(); }
void TBurningOptions::SetCacheSize(int32_t value) { FCacheSize = value; Changed(); }
void TBurningOptions::SetCopies(int32_t value) { FCopies = value; Changed(); }

// --- TISOInfo ---

void TISOInfo::Changed() {
  if (OwnerLive()) FOwner->PushISOInfo();
}

void TISOInfo::Assign(const TBurnPersistent& source) {
  const auto* src = dynamic_cast<const TISOInfo*>(&source);
  if (!src) return TBurnPersistent::Assign(source);
  BURNING_TAKE_OWNER(*src);
  for (int i = 1; i <= 8; ++i) SetIdentifier(i, src->Identifier(i));
}

QString TISOInfo::Identifier(int index) const {
  return index >= 1 && index <= 8 ? FIdentifiers[index - 1] : QString();
}
void TISOInfo::SetIdentifier(int index, const QString& value) {
  if (index < 1 || index > 8) return;
  FIdentifiers[index - 1] = value;
  Changed();
}
bool TISOInfo::Switch(int index) const {
  return index >= 1 && index <= 9 && FSwitches[index - 1];
}
void TISOInfo::SetSwitch(int index, bool value) {
  if (index < 1 || index > 9) return;
  FSwitches[index - 1] = value;
  Changed();
}
TDateTime TISOInfo::Date(int index) const {
  return index >= 1 && index <= 4 ? FDates[index - 1] : 0;
}
void TISOInfo::SetDate(int index, TDateTime value) {
  if (index < 1 || index > 4) return;
  FDates[index - 1] = value;
  Changed();
}
void TISOInfo::SetLevel(TISOLevel value) { FLevel = value; Changed(); }

// --- TBootInfo ---

void TBootInfo::Changed() {
  if (OwnerLive()) FOwner->PushBootInfo();
}

void TBootInfo::Assign(const TBurnPersistent& source) {
  const auto* src = dynamic_cast<const TBootInfo*>(&source);
  if (!src) return TBurnPersistent::Assign(source);
  BURNING_TAKE_OWNER(*src);
  SetDeveloperID(src->FDeveloperID);
  SetBootIndicator(src->FBootIndicator);
  SetLoadSegment(src->FLoadSegment);
  SetEmulation(src->FEmulation);
  SetSectorCount(src->FSectorCount);
}

void TBootInfo::SetDeveloperID(const QString& value) { FDeveloperID = value; Changed(); }
void TBootInfo::SetBootIndicator(bool value) { FBootIndicator = value; Changed(); }
void TBootInfo::SetLoadSegment(int32_t value) { FLoadSegment = value; Changed(); }
void TBootInfo::SetPlatformID(TBootPlatformID value) { FPlatformID = value; Changed(); }
void TBootInfo::SetEmulation(TBootEmulation value) { FEmulation = value; Changed(); }
void TBootInfo::SetSectorCount(int32_t value) { FSectorCount = value; Changed(); }

// --- TUDFOptions ---

void TUDFOptions::Changed() {
  if (OwnerLive()) FOwner->PushUDFOptions();
}

void TUDFOptions::Assign(const TBurnPersistent& source) {
  const auto* src = dynamic_cast<const TUDFOptions*>(&source);
  if (!src) return TBurnPersistent::Assign(source);
  BURNING_TAKE_OWNER(*src);
  FVersion = src->FVersion;
  FPartitionType = src->FPartitionType;
  FWriteFileStreams = src->FWriteFileStreams;
}

int32_t TUDFOptions::VersionCode(TUDFVersion version) {
  switch (version) {
    case TUDFVersion::uv102: return 0x0102;
    case TUDFVersion::uv150: return 0x0150;
    case TUDFVersion::uv200: return 0x0200;
    case TUDFVersion::uv201: return 0x0201;
    case TUDFVersion::uv250: return 0x0250;
    case TUDFVersion::uv260: return 0x0260;
  }
  return 0x0102;
}

void TUDFOptions::SetVersion(TUDFVersion value) { FVersion = value; Changed(); }
void TUDFOptions::SetPartitionType(TUDFPartition value) { FPartitionType = value; Changed(); }
void TUDFOptions::SetWriteFileStreams(bool value) { FWriteFileStreams = value; Changed(); }
void TUDFOptions::SetIsAvchdDisc(bool value) { FIsAvchdDisc = value; Changed(); }
void TUDFOptions::SetImplementationID(const QString& value) {
  FImplementationID = value;
  Changed();
}

// --- TCompressEncryptInfo ---

void TCompressEncryptInfo::Changed() {
  if (OwnerLive()) FOwner->PushCompressEncrypt();
}

void TCompressEncryptInfo::Assign(const TBurnPersistent& source) {
  const auto* src = dynamic_cast<const TCompressEncryptInfo*>(&source);
  if (!src) return TBurnPersistent::Assign(source);
  FCompression = src->FCompression;
  FEncryption = src->FEncryption;
  FCompressionLevel = src->FCompressionLevel;
  FPassword = src->FPassword;
}

void TCompressEncryptInfo::SetCompression(bool value) { FCompression = value; Changed(); }
void TCompressEncryptInfo::SetEncryption(bool value) { FEncryption = value; Changed(); }
void TCompressEncryptInfo::SetCompressionLevel(int32_t value) {
  FCompressionLevel = value;
  Changed();
}
void TCompressEncryptInfo::SetPassword(const QString& value) { FPassword = value; Changed(); }

// --- TDVDVideoOptions ---

void TDVDVideoOptions::Changed() {
  if (OwnerLive()) FOwner->PushDVDVideoOptions();
}

void TDVDVideoOptions::Assign(const TBurnPersistent& source) {
  const auto* src = dynamic_cast<const TDVDVideoOptions*>(&source);
  if (!src) return TBurnPersistent::Assign(source);
  FPadding = src->FPadding;
  FForceUppercase = src->FForceUppercase;
}

void TDVDVideoOptions::SetPadding(bool value) { FPadding = value; Changed(); }
void TDVDVideoOptions::SetForceUppercase(bool value) { FForceUppercase = value; Changed(); }

// --- TReadErrorCorrectionParams ---

void TReadErrorCorrectionParams::Assign(const TBurnPersistent& source) {
  const auto* src = dynamic_cast<const TReadErrorCorrectionParams*>(&source);
  if (!src) return TBurnPersistent::Assign(source);
  ErrorCorrection = src->ErrorCorrection;
  BlankBadSectors = src->BlankBadSectors;
  HardwareRetryCount = src->HardwareRetryCount;
  SoftwareRetryCount = src->SoftwareRetryCount;
}

}  // namespace burning
