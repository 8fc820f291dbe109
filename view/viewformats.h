#pragma once
// Loads the drum layout and display settings and attaches the notation track to every
// document.
void RegisterViewFormats();
