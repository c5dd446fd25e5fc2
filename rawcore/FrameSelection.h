// The frame a load read and what the frame selector must show for the file.
#ifndef FRAMESELECTION_H
#define FRAMESELECTION_H

struct FrameSelection {
    int index = 0;          // selector index of the loaded frame
    int frameNumber = 1;    // index + 1
    int itemCount = 1;      // items "1" to "%1" the selector must hold
    bool enabled = false;   // only for files with more than one frame
};

#endif
