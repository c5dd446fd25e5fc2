// What a TIFF export writes: the user's choices from the export dialog and
// the numbers of the loaded image that scale its values.
#ifndef TIFFEXPORTOPTIONS_H
#define TIFFEXPORTOPTIONS_H

struct StatsBlock;

struct TiffExportOptions {
    enum Mode { RgbRender = 0, RawComposite = 1, RawChannel = 2 };
    enum BayerMode { HalfSize = 0, Pixels2x2 = 1, FillZeroes = 2, SingleLayer = 3 };

    Mode mode = RawComposite;
    BayerMode bayerMode = FillZeroes;
    int channel = 0;              // the dialog's channel combo index
    bool threeChannel = false;    // "3-channel (RGB) output": possible and on
    bool autoscale = false;
    bool gamma = false;
    bool uncompressed = false;
    bool embedIcc = false;

    unsigned currentMaximum = 0;  // scales the values under autoscale
    int outputSpace = 0;          // the decoder's output colour space, 1..6 have a profile

    // sRAW shown as YCbCr: the chroma channels are stretched around the
    // midpoint by chromaScale; with autoscale the luma maximum replaces
    // the current maximum.
    bool srawYcc = false;
    int srawMidpoint = 0;
    double chromaScale = 1;
    unsigned lumaMaximum = 0;
    bool srawLumaScale = false;

    // Fills the sRAW fields from the midpoint and the selection's
    // statistics; without a selection the chroma is not stretched and the
    // luma scales as ordinary data do.
    void setSrawYcc(int midpoint, const StatsBlock *selection);

    // The factor applied to raw values before the tone table.
    float valueScale() const;
};

#endif
