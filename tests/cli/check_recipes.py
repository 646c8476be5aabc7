#!/usr/bin/env python3
"""Checks the scale-out recipes: the Kubernetes manifest parses and its shard count matches its
completions, the Slurm script is valid shell, and the folvane-cli line of every recipe is accepted
by the real program (run as a dry run on a scratch folder with one image)."""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

import yaml

recipes, cli, sample = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def dry_run(args, env_extra, scratch):
    """Runs a recipe's folvane-cli arguments with its folders mapped into `scratch`."""
    mapped = []
    for arg in args:
        if arg.startswith("/"):
            arg = os.path.join(scratch, arg.lstrip("/"))
        mapped.append(arg)
    source = mapped[-1]
    os.makedirs(source, exist_ok=True)
    shutil.copy(sample, os.path.join(source, "page.bmp"))
    env = dict(os.environ, HOME=scratch, XDG_CONFIG_HOME=scratch, **env_extra)
    command = [cli, "--settings", os.path.join(scratch, "Settings.ini")] + mapped + ["--dry-run"]
    result = subprocess.run(command, env=env, capture_output=True, text=True, timeout=60)
    check(result.returncode == 0, f"{' '.join(args)}: exit {result.returncode}: {result.stderr.strip()}")


with tempfile.TemporaryDirectory() as scratch:
    job = yaml.safe_load(open(os.path.join(recipes, "folvane-job.yaml")))
    spec = job["spec"]
    check(job["kind"] == "Job" and spec["completionMode"] == "Indexed", "the manifest is not an Indexed Job")
    command = spec["template"]["spec"]["containers"][0]["command"]
    check(command[0] == "folvane-cli", "the container does not run folvane-cli")
    check(command[command.index("--shards") + 1] == str(spec["completions"]), "--shards differs from completions")
    dry_run(command[1:], {"JOB_COMPLETION_INDEX": "0"}, os.path.join(scratch, "k8s"))

    sbatch = os.path.join(recipes, "folvane-array.sbatch")
    check(subprocess.run(["bash", "-n", sbatch]).returncode == 0, "the Slurm script is not valid shell")
    line = next(l for l in open(sbatch) if l.startswith("srun folvane-cli"))
    dry_run(shlex.split(line)[2:], {"SLURM_ARRAY_TASK_ID": "0", "SLURM_ARRAY_TASK_COUNT": "16"},
            os.path.join(scratch, "slurm"))

    unit = open(os.path.join(recipes, "folvane-watch.service")).read()
    exec_start = re.search(r"^ExecStart=(.*)$", unit, re.M).group(1)
    args = shlex.split(exec_start)
    check(os.path.basename(args[0]) == "folvane-cli", "the unit does not start folvane-cli")
    dry_run(args[1:], {}, os.path.join(scratch, "systemd"))

    containerfile = open(os.path.join(recipes, "Containerfile")).read()
    check(re.search(r"^FROM debian:12", containerfile, re.M) is not None, "the container is not Debian 12")
    check('ENTRYPOINT ["folvane-cli"]' in containerfile, "the container's entry point is not folvane-cli")

for failure in failures:
    print("check_recipes:", failure)
sys.exit(1 if failures else 0)
