// The picture library's part of program start-up and shut-down: its class
// registries, filled in their fixed orders. The libraries are static, so the
// classes are listed here rather than registering themselves.
#pragma once

// Registers the attribute classes, then the format classes.
void PicFilesStartup();
// Frees the format registry, then the attribute registry.
void PicFilesShutdown();
