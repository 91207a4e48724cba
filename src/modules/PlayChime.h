#pragma once

// Three tones in a row: 800 Hz, 1300 Hz and 1000 Hz, 100 ms each.
void PlayChime();
