#pragma once

#include <QWidget>

#include "mlp/workbench/vantor_session.h"

class NetworkPicture;
class QPushButton;

// The "Network" page: the picture of the current network and "Create Net...". "Load Net..."
// and "Save Net..." exist on the page but are hidden from the start and keep their enable
// state; the picture's context menu offers both with that same state, so the network-file
// commands stay within reach.
class CNetPage : public QWidget, public VantorSessionObserver {
  Q_OBJECT

 public:
  CNetPage(VantorSession& session, QWidget* parent = nullptr);
  ~CNetPage() override;

  // The activation handler: "Create Net..." and "Load Net..." unless training runs, "Save
  // Net..." only when no training runs and a network exists; the picture redrawn.
  void onActivate();
  void sessionChanged(unsigned changes) override;

  NetworkPicture* picture() const { return picture_; }
  QPushButton* createButton() const { return create_; }
  QPushButton* loadButton() const { return load_; }
  QPushButton* saveButton() const { return save_; }

  // The three commands, each followed by the activation update.
  void createNet();
  void loadNet();
  void saveNet();

 private:
  void showPictureMenu(const QPoint& position);
  void refreshPicture();

  VantorSession& session_;
  NetworkPicture* picture_ = nullptr;
  QPushButton* create_ = nullptr;
  QPushButton* load_ = nullptr;
  QPushButton* save_ = nullptr;
};
