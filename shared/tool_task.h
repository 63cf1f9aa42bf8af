#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "shared/excel_connection.h"
#include "shared/range_reader.h"
#include "shared/raw_table.h"

// Where a task's table came from: the data-source choice and the names of the workbook and the
// sheet that were active when it was read (empty when the host did not say), so that the
// analysis can be rerun on the same block of the workbook's file.
struct TableSource {
  DataSourceChoice choice;
  std::string workbook;
  std::string sheet;
};

// One open tool: the table read from the host and the tool's main window once it exists.
// Constructing a task adds it to its connection's task list and running-task count; destroying
// it frees the table, removes it and counts it out. The main window owns its task (the data
// set refers to the task's table, so the window must release its model first).
class CTask {
 public:
  // Holds a reference to application for as long as the task lives.
  CTask(ExcelConnection& connection, platform::Dispatch* application);
  ~CTask();
  CTask(const CTask&) = delete;
  CTask& operator=(const CTask&) = delete;

  ExcelConnection& connection() const { return connection_; }
  platform::Dispatch* application() const { return application_.get(); }
  RawTable& table() { return table_; }
  const RawTable& table() const { return table_; }

  // Asks for the data source (defaults from the selection) and reads it into the table, on the
  // calling thread; every failure has been reported when it returns. True when loaded.
  bool readData();
  // The block readData read (or what a caller that filled the table itself set).
  const TableSource& source() const { return source_; }
  void setSource(TableSource source) { source_ = std::move(source); }

  TaskMainWindow* mainWindow() const;
  // The window registers itself when it is created and withdraws (null) before it goes.
  void setMainWindow(TaskMainWindow* window);

 private:
  friend class ExcelConnection;
  ExcelConnection& connection_;
  platform::RefPtr<platform::Dispatch> application_;
  RawTable table_;
  TableSource source_;
  TaskMainWindow* mainWindow_ = nullptr;  // guarded by the connection's task lock
};

// Creates the tool's main window for a task whose table was read and hands it the task. A
// window that cannot be made simply lets the task go.
using MainWindowFactory = std::function<void(std::unique_ptr<CTask> task)>;

// Creates a task, reads its data on the calling thread and queues its start on the host
// window's loop (at once when there is no host window), so the calling export returns first.
// A task without data ends when it starts; one with data goes to createWindow.
void startTask(ExcelConnection& connection, platform::Dispatch* application, MainWindowFactory createWindow);

// What the tools' entry exports do: the connection's entry checks, then startTask. False when
// a check refused the host or the platform (its message has been shown).
bool runEntrySequence(ExcelConnection& connection, platform::Dispatch* application,
                      MainWindowFactory createWindow);
