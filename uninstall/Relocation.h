#pragma once

// True when this process runs from the temporary copy path (A-Z letter case ignored).
bool IsTemporaryCopy();

// The relocation handoff of the first instance: copies the own executable to the
// temporary copy path and starts the copy there, without waiting for it. Best effort.
void StartTemporaryCopy();
