// The document comparison through the local Tika server.

#include "app/MainForm.h"

void TfrmMain::miAsComplexDocumentsegPDFDOCXetcwithTIKA1Click()
{
}

void TfrmMain::CompareDocuments(const QString&, const QString&)
{
}
