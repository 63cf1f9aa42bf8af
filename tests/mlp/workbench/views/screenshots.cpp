// Saves a picture of every Vantor page and dialog of this folder as PNG files, for a person to
// look at: vantor_views_screenshots [FOLDER] (default: the build's screenshots folder).
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "mlp/workbench/qt/graphs/vantor_graphs.h"
#include "mlp/workbench/qt/views/column_choice_view.h"
#include "mlp/workbench/qt/views/net_page.h"
#include "mlp/workbench/qt/views/network_constructor_view.h"
#include "mlp/workbench/qt/views/network_picture.h"
#include "mlp/workbench/qt/views/training_dialog_views.h"
#include "mlp/workbench/qt/views/training_page.h"
#include "platform/scripted_prompter.h"
#include "tests/mlp/engine/training_run_test_support.h"

namespace {

bool save(QWidget& widget, const QDir& folder, const char* name) {
  widget.show();
  QCoreApplication::processEvents();
  const QString path = folder.filePath(QString::fromLatin1(name) + ".png");
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", path.toLocal8Bit().constData());
  widget.hide();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VANTOR_SCREENSHOT_DIR));
  std::filesystem::create_directories(folder.absolutePath().toStdString());

  // A session with two inputs, one output and a 2-9(2nd order)-4t-1l network, set up through
  // the scripted prompter.
  platform::ScriptedPrompter prompter;
  platform::PrompterScope scope(prompter);
  const RawTable table = lumivane::test::smoothTable();
  VantorSession session(table, std::string());
  prompter.answerMessage(platform::IDOK);  // no methinfo here
  if (!session.Initialise()) return 1;
  auto columns = [&](std::vector<std::string> names, const char* normalisation) {
    prompter.answerModal([names, normalisation](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<ColumnChoiceDialog&>(d);
      dialog.choose(names);
      NormalisationDialog kinds(dialog.side(), nullptr);
      kinds.choose(normalisation);
      dialog.setAllKinds(kinds.chosenKind());
      return platform::IDOK;
    });
  };
  columns({"x1", "x2"}, "Mean / Variance");
  session.SelectInputs();
  columns({"y"}, "(-1, +1) normalization");
  session.SelectOutputs();
  prompter.answerModal([](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<NetworkConstructorDialog&>(d);
    dialog.layerCount = 3;
    dialog.relayout();
    dialog.rows[0].neurons = 9;
    dialog.rows[0].orderIndex = 1;
    dialog.rows[1].neurons = 4;
    dialog.rows[2].functionIndex = 1;
    return dialog.accept() ? platform::IDOK : platform::IDCANCEL;
  });
  session.CreateNetwork();

  bool ok = true;
  CNetPage netPage(session);
  netPage.resize(640, 420);
  ok &= save(netPage, folder, "network_page");
  NetworkPicture empty;
  empty.resize(480, 320);
  ok &= save(empty, folder, "network_picture_empty");

  VantorGraphs graphs(session, nullptr);
  CTrainingPage trainingPage(session, graphs);
  trainingPage.onActivate();
  trainingPage.resize(640, 420);
  ok &= save(trainingPage, folder, "training_page");

  ColumnChoiceDialog inputs(ColumnChoiceDialog::Side::Inputs, table.columnNames,
                            session.dataSet().inputColumns(), nullptr);
  inputs.allDataSelected[2] = true;
  ColumnChoiceView inputsView(inputs);
  ok &= save(inputsView, folder, "select_inputs");
  ColumnChoiceDialog outputs(ColumnChoiceDialog::Side::Outputs, table.columnNames, {}, nullptr);
  outputs.choose({"y", "z"});
  ColumnChoiceView outputsView(outputs);
  ok &= save(outputsView, folder, "select_outputs");
  NormalisationDialog inputKinds(NormalisationDialog::Side::Inputs, nullptr);
  NormalisationView inputKindsView(inputKinds);
  ok &= save(inputKindsView, folder, "inputs_normalization");
  NormalisationDialog outputKinds(NormalisationDialog::Side::Outputs, nullptr);
  NormalisationView outputKindsView(outputKinds);
  ok &= save(outputKindsView, folder, "outputs_normalization");

  NetworkConstructorDialog constructor(session.ConstructorDescription(), 2, 1, nullptr);
  NetworkConstructorView constructorView(constructor);
  ok &= save(constructorView, folder, "network_constructor");

  TestSetChoice choice;
  choice.parameters.testSetMode = TestSetMode::BlockOfExamples;
  choice.testCount = 3;
  TestSetDialog testSet(choice, table.rowCount, nullptr);
  TestSetView testSetView(testSet);
  ok &= save(testSetView, folder, "test_set_redactor");
  StoppingCriteriaDialog criteria(StoppingCriteria{}, nullptr);
  StoppingCriteriaView criteriaView(criteria);
  ok &= save(criteriaView, folder, "stopping_criteria");
  RandomizationDialog randomization(nullptr);
  RandomizationView randomizationView(randomization);
  ok &= save(randomizationView, folder, "randomization");
  lumivane::test::ScriptedAlgorithm algorithm;
  session.algorithms().algorithms.push_back(&algorithm);
  session.algorithms().selectedAlgorithm = 0;
  {
    SelectAlgorithmDialog select(session.algorithms(), TrainingContext{}, nullptr);
    SelectAlgorithmView selectView(select);
    ok &= save(selectView, folder, "select_algorithm");
  }
  session.algorithms().SelectAlgorithm(-1);
  session.algorithms().algorithms.clear();
  return ok ? 0 : 1;
}
