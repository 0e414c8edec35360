# Audio capture and recording (filled in by the recorder work).
