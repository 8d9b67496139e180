// The IGES reader, a module of its own: the translator loads it with the
// first IGES file, so that IGES's libraries cost nothing to other loads.
#include <IGESCAFControl_Reader.hxx>
#include <IGESData_IGESModel.hxx>
#include <string>

#include "gBase90/kprogress.h"
#include "occt_document.h"

namespace ktranslate {
namespace {

// The kernel's unit for an IGES unit flag (global section, parameter 14).
bool UnitFromIgesFlag(int flag, const Handle(TCollection_HAsciiString) & name, Unit& unit) {
  switch (flag) {
    case 1:
      unit = {KUNITS_INCH, 25.4};
      return true;
    case 2:
      unit = kMillimetre;
      return true;
    case 3:
      return !name.IsNull() && UnitFromName(name->ToCString(), unit);
    case 4:
      unit = {KUNITS_FOOT, 304.8};
      return true;
    case 6:
      unit = {KUNITS_METER, 1000};
      return true;
    case 7:
      unit = {KUNITS_KILOMETER, 1e6};
      return true;
    case 9:
      unit = {KUNITS_MICROMETER, 1e-3};
      return true;
    case 10:
      unit = {KUNITS_CENTIMETER, 10};
      return true;
    default:
      return false;
  }
}

class IgesReader : public CafReader<IGESCAFControl_Reader> {
 public:
  // Open CASCADE reads IGES from a file name only: the stop request is
  // checked before and after.
  IFSelect_ReturnStatus Read(const std::string& path, const FileBytes&) override {
    KCheckStop();
    return m_reader.ReadFile(path.c_str());
  }

  Unit FileUnit() override {
    Unit unit = kMillimetre;
    Handle(IGESData_IGESModel) model = Handle(IGESData_IGESModel)::DownCast(m_reader.Model());
    if (!model.IsNull()) {
      const IGESData_GlobalSection& global = model->GlobalSection();
      if (!UnitFromIgesFlag(global.UnitFlag(), global.UnitName(), unit)) unit = kMillimetre;
    }
    return unit;
  }
};

std::unique_ptr<DocumentReader> MakeIgesReader() {
  return std::unique_ptr<DocumentReader>(new IgesReader);
}

}  // namespace
}  // namespace ktranslate

// What the translator looks up once the module is loaded.
extern "C" GRANITE_DLLEXPORT void GraniteReadIges(const KFile* file, std::string* reason,
                                                  bool* selfContained, xrchandle<KModel>* model) {
  *model = ktranslate::ReadDocument(*file, "IGES", false, ktranslate::MakeIgesReader, *reason,
                                    *selfContained);
}
