#!/usr/bin/env python3
"""Replays a repository's real merges through `git merge-file` and `quorlane --merge`.

For every merge commit M with two parents and one merge base B, every file both parents changed
(present in B, M^1, M^2 and M) is merged three ways: base B:path, current M^1:path, other M^2:path,
and each result is compared with the committed M:path.

    bench/merge3_replay.py REPO [--quorlane build/quorlane] [--max-merges N] [--show-wrong DIR]

Prints, for git and for quorlane with each rule set: files merged cleanly, clean and equal to the
commit, clean and different from it. A clean result that differs from the commit where git's own
clean result is equal to it is listed (with --show-wrong the three inputs and both results are kept
for reading).
"""
import argparse, difflib, os, subprocess, sys, tempfile

RULE_SETS = ['none', 'inserts', 'adjacent', 'space']


def changed_lines(a, b):
    """The indexes of b's lines that a diff of a against b marks as changed or inserted, and the
    positions in b where lines of a were deleted."""
    out = set()
    sm = difflib.SequenceMatcher(None, a, b, autojunk=False)
    for tag, i1, i2, j1, j2 in sm.get_opcodes():
        if tag != 'equal':
            out.update(range(j1, max(j2, j1 + 1)))
    return out


def resolved_as_committed(git_ours, git_theirs, ours, committed):
    """Whether the lines quorlane resolved beyond git (where its clean text differs from git's
    with --ours or with --theirs) stand in the commit as quorlane wrote them: the commit may
    differ elsewhere (a merge that also edited), but not there."""
    go, gt, q, c = (x.split(b'\n') for x in (git_ours, git_theirs, ours, committed))
    resolved = changed_lines(go, q) | changed_lines(gt, q)
    differing = changed_lines(c, q)
    return not (resolved & differing)


def git(repo, *args, data=False):
    r = subprocess.run(['git', '-C', repo, *args], capture_output=True)
    if r.returncode != 0:
        return None
    return r.stdout if data else r.stdout.decode('utf-8', 'replace')


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('repo')
    ap.add_argument('--quorlane', default=os.path.join(os.path.dirname(__file__), '..', 'build', 'quorlane'))
    ap.add_argument('--max-merges', type=int, default=1000)
    ap.add_argument('--show-wrong')
    a = ap.parse_args()
    merges = git(a.repo, 'rev-list', '--all', '--merges', '--parents', f'--max-count={a.max_merges}')
    stats = {k: {'clean': 0, 'right': 0, 'wrong': 0} for k in ['git'] + RULE_SETS}
    files = 0
    # git conflicts, quorlane clean: [equal to the commit, resolved lines as committed, not]
    beyond_git = {k: [0, 0, 0] for k in RULE_SETS}
    worse = {k: 0 for k in RULE_SETS}   # git clean and right, quorlane conflicts
    wrong_cases = []
    tmp = tempfile.mkdtemp(prefix='replay')
    for seen, line in enumerate(merges.splitlines()):
        if seen and seen % 250 == 0:
            report(a, files, stats, beyond_git, worse, wrong_cases, seen)
            sys.stdout.flush()
        shas = line.split()
        if len(shas) != 3:
            continue
        m, p1, p2 = shas
        bases = git(a.repo, 'merge-base', '--all', p1, p2)
        if not bases or len(bases.split()) != 1:
            continue
        b = bases.split()[0]
        c1 = set(git(a.repo, 'diff', '--no-renames', '--name-only', '-z', b, p1).split('\0')) - {''}
        c2 = set(git(a.repo, 'diff', '--no-renames', '--name-only', '-z', b, p2).split('\0')) - {''}
        for path in sorted(c1 & c2):
            blobs = [git(a.repo, 'show', f'{rev}:{path}', data=True) for rev in (b, p1, p2, m)]
            if any(x is None for x in blobs) or any(b'\0' in x[:8000] for x in blobs):
                continue
            if blobs[1] == blobs[2]:
                continue
            files += 1
            names = [os.path.join(tmp, n) for n in ('base', 'current', 'other')]
            for n, data in zip(names, blobs[:3]):
                open(n, 'wb').write(data)
            cur, base, oth = names[1], names[0], names[2]
            g = subprocess.run(['git', 'merge-file', '-p', cur, base, oth], capture_output=True)
            committed = blobs[3]
            git_clean = g.returncode == 0
            git_right = git_clean and g.stdout == committed
            if git_clean:
                stats['git']['clean'] += 1
                stats['git']['right' if git_right else 'wrong'] += 1
            favoured = None
            for rules in RULE_SETS:
                q = subprocess.run([a.quorlane, '--merge', '-p', f'--rules={rules}', cur, base, oth],
                                   capture_output=True)
                if q.returncode == 255:
                    continue
                clean = q.returncode == 0
                right = clean and q.stdout == committed
                if clean:
                    stats[rules]['clean'] += 1
                    stats[rules]['right' if right else 'wrong'] += 1
                if clean and not git_clean:
                    if not right and favoured is None:
                        favoured = [subprocess.run(['git', 'merge-file', '-p', side, cur, base, oth],
                                                   capture_output=True).stdout for side in ('--ours', '--theirs')]
                    kind = 0 if right else 1 if resolved_as_committed(*favoured, q.stdout, committed) else 2
                    beyond_git[rules][kind] += 1
                    if kind == 2:
                        wrong_cases.append((rules, m, path))
                        if a.show_wrong:
                            d = os.path.join(a.show_wrong, f'{rules}-{m[:10]}-{path.replace("/", "_")}')
                            os.makedirs(d, exist_ok=True)
                            for n, data in zip(('base', 'current', 'other', 'committed'), blobs):
                                open(os.path.join(d, n), 'wb').write(data)
                            open(os.path.join(d, 'quorlane'), 'wb').write(q.stdout)
                            open(os.path.join(d, 'git'), 'wb').write(g.stdout)
                if git_right and not clean:
                    worse[rules] += 1
    report(a, files, stats, beyond_git, worse, wrong_cases, len(merges.splitlines()))


def report(a, files, stats, beyond_git, worse, wrong_cases, merges_seen):
    print(f'repository {a.repo}: {merges_seen} merges, {files} files changed by both parents of a merge')
    print(f'{"merger":<20} {"clean":>7} {"= commit":>9} {"!= commit":>10}')
    for k, s in stats.items():
        name = 'git merge-file' if k == 'git' else f'quorlane {k}'
        print(f'{name:<20} {s["clean"]:>7} {s["right"]:>9} {s["wrong"]:>10}')
    for k in RULE_SETS:
        b = beyond_git[k]
        print(f'quorlane {k}: clean where git conflicts: {b[0]} equal to the commit, {b[1]} with the '
              f'resolved lines as committed (the commit edited elsewhere), {b[2]} resolved otherwise; '
              f'{worse[k]} that git merged as committed left in conflict')
    for c in wrong_cases:
        print('resolved otherwise than committed:', *c)


if __name__ == '__main__':
    main()
