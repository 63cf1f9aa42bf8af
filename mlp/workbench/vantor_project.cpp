#include "mlp/workbench/vantor_project.h"

#include <cstring>

#include "shared/binary_io.h"
#include "shared/exceptions.h"

void writeProject(const Perceptron& network, const VantorDataSet& dataSet, std::ostream& out) {
  BinaryWriter writer(out);
  writer.writeBytes(kProjectMagic, 2);
  writer.writeUInt16(kProjectMajor);
  writer.writeUInt16(kProjectMinor);
  network.WriteBlock(out);
  dataSet.writeBlock(out);
}

bool saveProjectFile(const Perceptron& network, const VantorDataSet& dataSet,
                     const std::filesystem::path& path) {
  return writeFileAtomically(path, [&](std::ostream& out) { writeProject(network, dataSet, out); });
}

ProjectReadResult readProject(std::istream& in, VantorDataSet& dataSet) {
  ProjectReadResult result;
  auto fail = [&result](ProjectFileError error, std::string message) {
    result.error = error;
    result.message = std::move(message);
    result.network.reset();
    return std::move(result);
  };

  // A file too short for its header reads as one in another format.
  char magic[2] = {0, 0};
  in.read(magic, 2);
  if (in.gcount() != 2 || std::memcmp(magic, kProjectMagic, 2) != 0)
    return fail(ProjectFileError::NotVantorFormat, kNotVantorFormatText);
  std::uint16_t major = 0;
  try {
    BinaryReader reader(in);
    major = reader.readUInt16("major version");
    reader.readUInt16("minor version");
  } catch (const MyException&) {
    return fail(ProjectFileError::WrongVersion, kOtherVantorVersionText);
  }
  if (major != kProjectMajor) return fail(ProjectFileError::WrongVersion, kOtherVantorVersionText);

  try {
    result.network = std::make_unique<Perceptron>(in);
  } catch (const MyException& e) {
    return fail(ProjectFileError::NetworkBlock, e.what());
  } catch (const std::bad_alloc&) {
    return fail(ProjectFileError::NetworkBlock, "Out of Memory!");
  }

  try {
    dataSet.readBlock(in);
  } catch (const BadProjectException&) {
    return fail(ProjectFileError::ColumnMismatch, kProjectColumnsText);
  } catch (const MyException& e) {
    return fail(ProjectFileError::DataSetBlock, e.what());
  }
  // Both blocks read well but were not made for each other: refused like any other bad
  // project, so that training never meets a network of the wrong size.
  const Perceptron& network = *result.network;
  if (network.inputs != dataSet.inputCount() ||
      (dataSet.outputCount() > 0 && network.outputs != dataSet.outputCount())) {
    dataSet.clearInputs();
    dataSet.clearOutputs();
    return fail(ProjectFileError::CountsDisagree, kProjectCountsDisagreeText);
  }
  return result;
}
