// A decoder that opens nothing: it fills the data block from a StandInSetup,
// so the loader's every step and failure can be driven without a raw file.
#ifndef STANDINDECODER_H
#define STANDINDECODER_H

#include "Kaldris.h"
#include "StandInSetup.h"

#include <vector>

class StandInDecoder : public Kaldris_fast
{
public:
    explicit StandInDecoder(const StandInSetup &setup);
    ~StandInDecoder() override;

    int open_qfile(const QString &path, int64_t max_buffered = 1) override;
    int unpack() override;
    int get_decoder_info(kaldris_decoder_info_t *info) const override;
    int is_phaseone_compressed() const override { return s.phaseOne; }
    int is_sraw() const override { return s.sraw; }
    int get_phaseone_blacklevel() override { return s.phaseOneBlack; }
    int is_jpeg_thumb() const override { return !s.thumbnail.empty(); }
    int unpack_thumb() override;
    int adjust_bl() override { return 0; }
    int phase_one_subtract_black(ushort *src, ushort *dest) override;
    int phase_one_correct() override { ++phaseOneCorrections; return 0; }

    ushort pixelValue(int row, int col, int comp) const;

    StandInSetup s;
    std::vector<unsigned> shotsOpened;
    int phaseOneCalls = 0;
    int phaseOneCorrections = 0;
    const ushort *phaseOneSource = nullptr;

private:
    void fillBlock();
    std::vector<ushort> fake;
};

#endif
