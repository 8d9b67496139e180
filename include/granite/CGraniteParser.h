// CGraniteParser: the state of one model load. One class definition shared by
// three modules: the loader provides the copies and plain accessors, the
// sibling library QorGraniteParser the default constructor, the destructor and
// the operations with behaviour. The member order is part of that contract.
#pragma once

#include <cstddef>

#include "granite/CBasicString.h"
#include "granite/GraniteTypes.h"
#include "granite/velaArray1D.h"
#include "qorvela/velaTypes.h"
#include "qorvelaex/C3DMList.h"

class C3DMWorld;
class C3DMGroup;
class CGraniteElement;

typedef void (*GraniteLoaderCallback)(int percent);
typedef int (*GraniteSupportFileCallback)(CBasicString name, CBasicString directory,
                                          CBasicString& found);

// Ownership:
// - The world, the current group and the callbacks belong to the host; copies
//   share them.
// - The matrix stack, the generated colours and the resolved-file entries are
//   owned by their lists through item functions (set by the constructor), so a
//   copy or an assignment copies them and every parser releases its own.
// - Root elements belong to the parser whose AddElementToList took them in, and
//   are deleted (with their subtrees) by its destructor; an element that is
//   already another parser's root or a child is listed but stays its owner's.
//   Children belong to their parent element (CGraniteElement.h). A copy's element list
//   is a view of those roots: it releases nothing and is valid while the owner
//   lives. A parser assigned over keeps, and later releases, the roots it owned.
// - The resolved-parts list owns nothing: its elements belong to the tree.
// - Scene groups belong to the world that made them; those made while the
//   parser had no world belong to the parser and are deleted with it.
class GRANITE_SHARED_CLASS CGraniteParser {
public:
  // Sibling library.
  CGraniteParser();
  ~CGraniteParser();

  // Loader: member-wise copies; pointers are shared, lists copied.
  CGraniteParser(const CGraniteParser& other);
  CGraniteParser& operator=(const CGraniteParser& other);

  // Loader: plain accessors.
  C3DMWorld* GetWorld();
  void SetWorld(C3DMWorld* world);
  CBasicString& GetFilename();
  // Stores the name lower-cased.
  void SetFilename(CBasicString name);
  GraniteLoaderCallback GetLoaderPtr();
  void SetLoaderPtr(GraniteLoaderCallback callback);
  GraniteSupportFileCallback GetGetSupportFilePtr();
  void SetGetSupportFilePtr(GraniteSupportFileCallback callback);
  double GetDecimationMagnitude();
  void SetDecimationMagnitude(double value);
  double GetLastPercentage();
  void SetLastPercentage(double value);
  C3DMList* GetMatrixStack();
  int GetNumberMatricesOnStack();
  ImageUnitsTypes GetModelUnits();
  void SetModelUnits(ImageUnitsTypes units);
  C3DMGroup* GetCurrentGroup();
  void SetCurrentGroup(C3DMGroup* group);
  velaChroma& GetCurrentColor();
  void SetCurrentColor(velaChroma color);
  C3DMList* GetElementList();
  int GetNumberElements();
  int GetTotalParts();
  void SetTotalParts(int count);
  int GetCurrentPart();
  void SetCurrentPart(int count);
  double GetChordalTolerance();
  void SetChordalTolerance(double value);
  double GetAngularTolerance();
  void SetAngularTolerance(double value);
  C3DMList* GetGeneratedColorList();
  int GetNumberGeneratedColors();
  C3DMList* GetResolvedFilesList();
  int GetNumberResolvedFiles();
  C3DMList* GetResolvedPartsList();
  int GetNumberResolvedParts();
  GraniteResolutionTypes GetLoadResolution();
  void SetLoadResolution(GraniteResolutionTypes resolution);
  velaBBox& GetModelBoundingBox();
  void SetModelBoundingBox(velaBBox& box);
  bool GetUnitsRetrieved();
  void SetUnitsRetrieved(bool retrieved);
  CBasicString GetInstallationDirectory();
  void SetInstallationDirectory(CBasicString directory);

  // Sibling library: the operations with behaviour.
  CGraniteElement* CreateElement(CBasicString fileName, CBasicString displayName);
  bool AddElementToList(CGraniteElement* element);
  bool PushMatrix(velaMatrix4x4& matrix);
  velaMatrix4x4 PopMatrix();
  velaMatrix4x4 GetCurrentMatrix();
  void ClearMatrixStack();
  bool AddMeshToGroup(velaFloatPointArray& points, velaVectorArray& normals, velaIntArray& counts);
  bool AddResolvedPart(CGraniteElement* element);
  CGraniteElement* FindResolvedPart(CBasicString fileName, CBasicString configurationName);
  // Records that group shows the meshes of shown, placed there by the reuse of
  // a resolved part; false when it already does, and they are not placed again.
  bool RecordPlacedPart(C3DMGroup* group, C3DMGroup* shown);
  bool GenerateColorForPart();
  bool GetResultOKToContinue(GraniteLoadResultTypes result);
  int ComputeTotalParts();
  void IncrementCurrentPart();
  CBasicString GetResolvedFilename(CBasicString fileName);
  bool GetFileIsPart(CBasicString fileName);
  bool ComputeEvaluationTolerances();

  // Sibling library: asks every load of this process to stop at the next
  // element (GetResultOKToContinue then answers false). Safe from a signal handler.
  static void RequestStop(bool stop);

private:
  friend struct CGraniteParserLayout;
  C3DMWorld* m_world;
  CBasicString m_filename;
  GraniteLoaderCallback m_loaderPtr;
  GraniteSupportFileCallback m_getSupportFilePtr;
  double m_decimationMagnitude;
  double m_lastPercentage;
  C3DMList m_matrixStack;
  ImageUnitsTypes m_modelUnits;
  C3DMGroup* m_currentGroup;
  velaChroma m_currentColor;
  C3DMList m_elementList;
  int m_totalParts;
  int m_currentPart;
  double m_chordalTolerance;
  double m_angularTolerance;
  C3DMList m_generatedColorList;
  C3DMList m_resolvedFilesList;
  C3DMList m_resolvedPartsList;
  GraniteResolutionTypes m_loadResolution;
  velaBBox m_modelBoundingBox;
  bool m_unitsRetrieved;
  CBasicString m_installationDirectory;
};

// The layout every module relies on (4-byte pointers on 32-bit Windows, 8 on
// 64-bit Linux): a change that would break it fails to compile.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CGraniteParserLayout {
  static constexpr bool k64 = sizeof(void*) == 8;
  static_assert(sizeof(CGraniteParser) == (k64 ? 552 : 344), "CGraniteParser size");
  static_assert(offsetof(CGraniteParser, m_world) == (k64 ? 0 : 0), "m_world");
  static_assert(offsetof(CGraniteParser, m_filename) == (k64 ? 8 : 4), "m_filename");
  static_assert(offsetof(CGraniteParser, m_loaderPtr) == (k64 ? 56 : 36), "m_loaderPtr");
  static_assert(offsetof(CGraniteParser, m_getSupportFilePtr) == (k64 ? 64 : 40), "m_getSupportFilePtr");
  static_assert(offsetof(CGraniteParser, m_decimationMagnitude) == (k64 ? 72 : 48), "m_decimationMagnitude");
  static_assert(offsetof(CGraniteParser, m_lastPercentage) == (k64 ? 80 : 56), "m_lastPercentage");
  static_assert(offsetof(CGraniteParser, m_matrixStack) == (k64 ? 88 : 64), "m_matrixStack");
  static_assert(offsetof(CGraniteParser, m_modelUnits) == (k64 ? 152 : 96), "m_modelUnits");
  static_assert(offsetof(CGraniteParser, m_currentGroup) == (k64 ? 160 : 100), "m_currentGroup");
  static_assert(offsetof(CGraniteParser, m_currentColor) == (k64 ? 168 : 104), "m_currentColor");
  static_assert(offsetof(CGraniteParser, m_elementList) == (k64 ? 184 : 120), "m_elementList");
  static_assert(offsetof(CGraniteParser, m_totalParts) == (k64 ? 248 : 152), "m_totalParts");
  static_assert(offsetof(CGraniteParser, m_currentPart) == (k64 ? 252 : 156), "m_currentPart");
  static_assert(offsetof(CGraniteParser, m_chordalTolerance) == (k64 ? 256 : 160), "m_chordalTolerance");
  static_assert(offsetof(CGraniteParser, m_angularTolerance) == (k64 ? 264 : 168), "m_angularTolerance");
  static_assert(offsetof(CGraniteParser, m_generatedColorList) == (k64 ? 272 : 176), "m_generatedColorList");
  static_assert(offsetof(CGraniteParser, m_resolvedFilesList) == (k64 ? 336 : 208), "m_resolvedFilesList");
  static_assert(offsetof(CGraniteParser, m_resolvedPartsList) == (k64 ? 400 : 240), "m_resolvedPartsList");
  static_assert(offsetof(CGraniteParser, m_loadResolution) == (k64 ? 464 : 272), "m_loadResolution");
  static_assert(offsetof(CGraniteParser, m_modelBoundingBox) == (k64 ? 468 : 276), "m_modelBoundingBox");
  static_assert(offsetof(CGraniteParser, m_unitsRetrieved) == (k64 ? 496 : 304), "m_unitsRetrieved");
  static_assert(offsetof(CGraniteParser, m_installationDirectory) == (k64 ? 504 : 308), "m_installationDirectory");
};
#pragma GCC diagnostic pop
