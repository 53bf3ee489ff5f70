#include "components/web_data.h"

#include "components/web_data_thread.h"

namespace components {

namespace {
// The component's version, one byte per part, highest byte first.
constexpr quint32 kWebDataVersion = 0x01020000;
}  // namespace

TWebDataItem* TWebDataCollection::Add() {
  FItems.push_back(std::make_unique<TWebDataItem>());
  return FItems.back().get();
}

void TWebDataCollection::Delete(int index) { FItems.erase(FItems.begin() + index); }

TWebData::TWebData(QObject* parent) : QObject(parent) {}

TWebData::~TWebData() {
  if (FThread) {
    disconnect(FThread.get(), nullptr, this, nullptr);
    FThread->Abort();
    FThread->wait();
  }
}

QString TWebData::Version() const {
  return QStringLiteral("%1.%2.%3.%4")
      .arg((kWebDataVersion >> 24) & 0xFF)
      .arg((kWebDataVersion >> 16) & 0xFF)
      .arg((kWebDataVersion >> 8) & 0xFF)
      .arg(kWebDataVersion & 0xFF);
}

bool TWebData::Execute() {
  if (FThread) return false;
  FThread = std::make_unique<TWDInetThread>(this);
  // Connected before the start, so the end of the run is never missed.
  connect(FThread.get(), &QThread::finished, this, &TWebData::RunEnded, Qt::QueuedConnection);
  FThread->start();
  return true;
}

void TWebData::Abort() {
  if (FThread) FThread->Abort();
}

void TWebData::RunEnded() {
  if (!FThread) return;
  FThread->wait();
  FThread.reset();
  if (OnCollectDone) OnCollectDone(this);
}

}  // namespace components
