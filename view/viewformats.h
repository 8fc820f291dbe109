#pragma once
// Attaches the notation track to every document.
void RegisterViewFormats();
