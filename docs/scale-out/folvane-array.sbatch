#!/bin/bash
# A Slurm job array of 16 tasks over one archive on a shared file system. Slurm sets
# SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_COUNT and SLURM_ARRAY_TASK_MIN; --shard auto reads them.
# Submit with: sbatch folvane-array.sbatch
#SBATCH --job-name=folvane
#SBATCH --array=0-15
#SBATCH --cpus-per-task=1
#SBATCH --mem=2G
#SBATCH --time=04:00:00
#SBATCH --output=folvane-%A_%a.jsonl
set -euo pipefail
srun folvane-cli convert --shard auto -m image -e overwrite -r --json -o /archive/pdf /archive/scans
