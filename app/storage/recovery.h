#pragma once

class frmMain;

// Replays the shots a previous run left in the cache, after telling the user how many.
void recoverCache(frmMain& main);
