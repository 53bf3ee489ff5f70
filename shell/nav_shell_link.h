#pragma once
// Couples shell controls (a file list and a folder combo box) so that they show the same
// folder: when one changes folder or selection, the link tells every other linked control.

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "shell/nav_item_id_list.h"

namespace shell {

/// The small component base of the link and the change notifier.
class TNavBaseComponent : public QObject {
  Q_OBJECT

 public:
  explicit TNavBaseComponent(QObject* owner = nullptr) : QObject(owner) {}
  virtual bool GetEnabled() const { return FEnabled; }
  virtual void SetEnabled(bool enabled) { FEnabled = enabled; }
  bool Enabled() const { return GetEnabled(); }
  /// The class name followed by " V9.0.3.694".
  QString Version() const;

 protected:
  bool FEnabled = false;
};

class TNavShellLink;
class TNavSelectionList;

/// What a control implements to be linked.
class INavShellControl {
 public:
  virtual ~INavShellControl() = default;
  /// The link passes nullptr when it goes away.
  virtual void SetShellLink(TNavShellLink* link) = 0;
  virtual TNavShellLink* GetShellLink() const = 0;
  /// Another control moved to this folder.
  virtual void LinkedPathChanged(const INavItemIdList& folder) = 0;
  /// Another control's single selected item changed; both null when it has no selection.
  virtual void LinkedItemChanged(const INavItemIdList& folder, const INavItemIdList& item) = 0;
  /// kind 0: refresh requested; 1: the sender's folder content changed; 2: the check state of a
  /// path changed (list null when several did).
  virtual void LinkedNotify(int kind, const INavItemIdList& list) = 0;
};

class TNavShellLink : public TNavBaseComponent {
  Q_OBJECT

 public:
  explicit TNavShellLink(QObject* owner = nullptr);
  /// Leaves every linked control without a link, from the last to the first.
  ~TNavShellLink() override;

  /// Adds a control once; the controls call these from their link setters and destructors.
  void RegisterControl(INavShellControl* control);
  void UnregisterControl(INavShellControl* control);
  int ControlCount() const { return static_cast<int>(FControls.size()); }

  /// Tells every other control that sender moved to folder, then raises OnChange. A control
  /// that moves in turn while the broadcast runs is not passed on.
  void BroadcastPathChanged(INavShellControl* sender, const INavItemIdList& folder);
  void BroadcastItemChanged(INavShellControl* sender, const INavItemIdList& folder, const INavItemIdList& item);
  /// To every control but sender (all of them for a null sender).
  void BroadcastNotify(INavShellControl* sender, int kind, const INavItemIdList& list);

  /// While false, linked file lists show no parent entry and ignore Backspace.
  bool AllowGoingUp() const { return FAllowGoingUp; }
  void SetAllowGoingUp(bool value) { FAllowGoingUp = value; }

  /// The ticked files and folders shared by the check boxes of every linked control.
  TNavSelectionList* GetSelectionList() const { return FSelectionList; }

  /// After a folder broadcast that raised no exception.
  std::function<void(TNavShellLink&)> OnChange;

 private:
  template <typename Call>
  void Broadcast(INavShellControl* sender, Call call);

  std::vector<INavShellControl*> FControls;
  bool FAllowGoingUp = true;
  TNavSelectionList* FSelectionList;  // a child of the link
};

}  // namespace shell
