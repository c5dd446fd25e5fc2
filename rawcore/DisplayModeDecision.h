// What preparing the data decides about the display-mode controls; the main
// window applies it to its radio buttons and channel selector.
#ifndef DISPLAYMODEDECISION_H
#define DISPLAYMODEDECISION_H

struct DisplayModeDecision {
    bool prepared = false;        // false: no record or working buffer, nothing to change
    // sRAW shown as YCbCr: select the channel mode, deselect and disable RGB
    // and composite, and set the channel selector to 0 when its index is above 2.
    bool ycbcrChannels = false;
    bool rgbEnabled = false;
    bool compositeEnabled = false;
    // When RGB is the selected mode, deselect it and select the composite.
    bool rgbToComposite = false;
};

#endif
