// The loader's half of CGraniteParser: member-wise copies and the plain
// accessors. The default constructor, the destructor and the operations with
// behaviour live in QorGraniteParser.
#include "granite/CGraniteParser.h"

// Pointers (world, callbacks, current group) are shared with the source; the
// strings, colour, box and the five lists are copied. A list whose items are
// owned through an item function copies them, so the copy owns its own matrix
// levels, colours and resolved-file entries; the element and resolved-part
// lists hold the source's elements without owning them.
CGraniteParser::CGraniteParser(const CGraniteParser& other)
    : m_world(other.m_world),
      m_filename(other.m_filename),
      m_loaderPtr(other.m_loaderPtr),
      m_getSupportFilePtr(other.m_getSupportFilePtr),
      m_decimationMagnitude(other.m_decimationMagnitude),
      m_lastPercentage(other.m_lastPercentage),
      m_matrixStack(other.m_matrixStack),
      m_modelUnits(other.m_modelUnits),
      m_currentGroup(other.m_currentGroup),
      m_currentColor(other.m_currentColor),
      m_elementList(other.m_elementList),
      m_totalParts(other.m_totalParts),
      m_currentPart(other.m_currentPart),
      m_chordalTolerance(other.m_chordalTolerance),
      m_angularTolerance(other.m_angularTolerance),
      m_generatedColorList(other.m_generatedColorList),
      m_resolvedFilesList(other.m_resolvedFilesList),
      m_resolvedPartsList(other.m_resolvedPartsList),
      m_loadResolution(other.m_loadResolution),
      m_modelBoundingBox(other.m_modelBoundingBox),
      m_unitsRetrieved(other.m_unitsRetrieved),
      m_installationDirectory(other.m_installationDirectory) {}

CGraniteParser& CGraniteParser::operator=(const CGraniteParser& other) {
  if (this == &other) return *this;
  m_world = other.m_world;
  m_filename = other.m_filename;
  m_loaderPtr = other.m_loaderPtr;
  m_getSupportFilePtr = other.m_getSupportFilePtr;
  m_decimationMagnitude = other.m_decimationMagnitude;
  m_lastPercentage = other.m_lastPercentage;
  m_matrixStack = other.m_matrixStack;
  m_modelUnits = other.m_modelUnits;
  m_currentGroup = other.m_currentGroup;
  m_currentColor = other.m_currentColor;
  m_elementList = other.m_elementList;
  m_totalParts = other.m_totalParts;
  m_currentPart = other.m_currentPart;
  m_chordalTolerance = other.m_chordalTolerance;
  m_angularTolerance = other.m_angularTolerance;
  m_generatedColorList = other.m_generatedColorList;
  m_resolvedFilesList = other.m_resolvedFilesList;
  m_resolvedPartsList = other.m_resolvedPartsList;
  m_loadResolution = other.m_loadResolution;
  m_modelBoundingBox = other.m_modelBoundingBox;
  m_unitsRetrieved = other.m_unitsRetrieved;
  m_installationDirectory = other.m_installationDirectory;
  return *this;
}

C3DMWorld* CGraniteParser::GetWorld() {
  return m_world;
}
void CGraniteParser::SetWorld(C3DMWorld* world) {
  m_world = world;
}

CBasicString& CGraniteParser::GetFilename() {
  return m_filename;
}
void CGraniteParser::SetFilename(CBasicString name) {
  m_filename = name;
  m_filename.MakeLower();  // an empty name stays empty
}

GraniteLoaderCallback CGraniteParser::GetLoaderPtr() {
  return m_loaderPtr;
}
void CGraniteParser::SetLoaderPtr(GraniteLoaderCallback callback) {
  m_loaderPtr = callback;
}

GraniteSupportFileCallback CGraniteParser::GetGetSupportFilePtr() {
  return m_getSupportFilePtr;
}
void CGraniteParser::SetGetSupportFilePtr(GraniteSupportFileCallback callback) {
  m_getSupportFilePtr = callback;
}

double CGraniteParser::GetDecimationMagnitude() {
  return m_decimationMagnitude;
}
void CGraniteParser::SetDecimationMagnitude(double value) {
  m_decimationMagnitude = value;
}

double CGraniteParser::GetLastPercentage() {
  return m_lastPercentage;
}
void CGraniteParser::SetLastPercentage(double value) {
  m_lastPercentage = value;
}

C3DMList* CGraniteParser::GetMatrixStack() {
  return &m_matrixStack;
}
int CGraniteParser::GetNumberMatricesOnStack() {
  return m_matrixStack.GetCount();
}

ImageUnitsTypes CGraniteParser::GetModelUnits() {
  return m_modelUnits;
}
void CGraniteParser::SetModelUnits(ImageUnitsTypes units) {
  m_modelUnits = units;
}

C3DMGroup* CGraniteParser::GetCurrentGroup() {
  return m_currentGroup;
}
void CGraniteParser::SetCurrentGroup(C3DMGroup* group) {
  m_currentGroup = group;
}

velaChroma& CGraniteParser::GetCurrentColor() {
  return m_currentColor;
}
void CGraniteParser::SetCurrentColor(velaChroma color) {
  m_currentColor = color;
}

C3DMList* CGraniteParser::GetElementList() {
  return &m_elementList;
}
int CGraniteParser::GetNumberElements() {
  return m_elementList.GetCount();
}

int CGraniteParser::GetTotalParts() {
  return m_totalParts;
}
void CGraniteParser::SetTotalParts(int count) {
  m_totalParts = count;
}

int CGraniteParser::GetCurrentPart() {
  return m_currentPart;
}
void CGraniteParser::SetCurrentPart(int count) {
  m_currentPart = count;
}

double CGraniteParser::GetChordalTolerance() {
  return m_chordalTolerance;
}
void CGraniteParser::SetChordalTolerance(double value) {
  m_chordalTolerance = value;
}

double CGraniteParser::GetAngularTolerance() {
  return m_angularTolerance;
}
void CGraniteParser::SetAngularTolerance(double value) {
  m_angularTolerance = value;
}

C3DMList* CGraniteParser::GetGeneratedColorList() {
  return &m_generatedColorList;
}
int CGraniteParser::GetNumberGeneratedColors() {
  return m_generatedColorList.GetCount();
}

C3DMList* CGraniteParser::GetResolvedFilesList() {
  return &m_resolvedFilesList;
}
int CGraniteParser::GetNumberResolvedFiles() {
  return m_resolvedFilesList.GetCount();
}

C3DMList* CGraniteParser::GetResolvedPartsList() {
  return &m_resolvedPartsList;
}
int CGraniteParser::GetNumberResolvedParts() {
  return m_resolvedPartsList.GetCount();
}

GraniteResolutionTypes CGraniteParser::GetLoadResolution() {
  return m_loadResolution;
}
void CGraniteParser::SetLoadResolution(GraniteResolutionTypes resolution) {
  m_loadResolution = resolution;
}

velaBBox& CGraniteParser::GetModelBoundingBox() {
  return m_modelBoundingBox;
}
void CGraniteParser::SetModelBoundingBox(velaBBox& box) {
  m_modelBoundingBox = box;
}

bool CGraniteParser::GetUnitsRetrieved() {
  return m_unitsRetrieved;
}
void CGraniteParser::SetUnitsRetrieved(bool retrieved) {
  m_unitsRetrieved = retrieved;
}

CBasicString CGraniteParser::GetInstallationDirectory() {
  return m_installationDirectory;
}
void CGraniteParser::SetInstallationDirectory(CBasicString directory) {
  m_installationDirectory = directory;
}
