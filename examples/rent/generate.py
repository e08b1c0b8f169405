#!/usr/bin/env python3
"""Writes rent.csv: monthly flat rents with a continuous target and a categorical input.

The data are synthetic and reproducible (fixed seed): rent grows with the floor area, a
little with the number of rooms and the build year, and depends on the district.
Run from this folder: python3 generate.py
"""
import csv
import random

SEED = 20240301
ROWS = 240
FOLDS = 4
DISTRICT_PREMIUM = {"centre": 420.0, "north": 150.0, "east": 60.0, "south": 0.0, "west": 90.0}


def main():
    rng = random.Random(SEED)
    districts = list(DISTRICT_PREMIUM)
    with open("rent.csv", "w", newline="") as out:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["id", "area", "rooms", "year", "district", "rent", "fold"])
        for i in range(1, ROWS + 1):
            rooms = rng.randint(1, 5)
            area = round(18.0 + rooms * 17.0 + rng.uniform(-8.0, 14.0), 1)
            year = rng.randint(1950, 2022)
            district = districts[rng.randrange(len(districts))]
            rent = (180.0 + 11.5 * area + 35.0 * rooms + 2.2 * (year - 1950)
                    + DISTRICT_PREMIUM[district] + rng.gauss(0.0, 60.0))
            writer.writerow([i, f"{area:.1f}", rooms, year, district, f"{rent:.2f}",
                             (i - 1) % FOLDS])


if __name__ == "__main__":
    main()
