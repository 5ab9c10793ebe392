#pragma once

// True when this process runs from the temporary copy path (A-Z letter case ignored).
bool IsTemporaryCopy();

// The relocation handoff of the first instance: copies the own executable to the
// temporary copy path and starts the copy there, without waiting for it. False when the
// copy could not be written or started; nothing was then written outside the copy path.
bool StartTemporaryCopy();
