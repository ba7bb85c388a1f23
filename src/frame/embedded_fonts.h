// The two Open Sans faces built into the library, written as files into a folder private to
// the process at load and removed again at unload, so that the font code can open them by name.
#pragma once

// Writes the font files. Runs once, when the library is loaded.
void extract_embedded_fonts();

// Deletes the files this process wrote, then their folder, each logged when report is set.
// Runs once, at unload.
void remove_embedded_fonts(bool report);

// The folder that holds the extracted fonts (no trailing separator), or null when none was
// made.
const char *embedded_font_folder();
