// Start-up of the image library shared by every toolkit run.
#pragma once

#include <FreeImage.h>

// Prints one console line for a library diagnostic:
// "FIF:" + format number (spaced decimal) + " - MESSAGE:" + text.
void ImageMessageHandler(FREE_IMAGE_FORMAT format, const char* message);

// Initialises FreeImage once and routes its diagnostics to ImageMessageHandler.
void StartImageLibrary();
