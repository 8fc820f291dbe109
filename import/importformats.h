#pragma once
// Registers the text tab formats (".txt", ".tab") with the document.
void RegisterImportFormats();
